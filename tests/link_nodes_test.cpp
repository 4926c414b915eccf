// The directory of metering nodes: "gsm_csd.ini".
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "format/cp1251.h"
#include "link/node_directory.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

using test::TempDir;

// Three nodes as an engineer would keep them, in UTF-8 here.
constexpr std::string_view kDirectoryText =
    "; Узлы учета, доступные по GSM\r\n"
    "[baza]\r\n"
    "kol_uzlov=3\r\n"
    "tel_1=ATD+79001234567\r\n"
    "name_u1=Котельная №1\r\n"
    "tel_2=ATD+79007654321\r\n"
    "name_u2=ЦТП ул. Ленина, д. 5\r\n"
    "tel_3=ATD89120000003\r\n"
    "name_u3=Школа «Ёлочка»\r\n";

const std::vector<std::string> kPhones = {"", "ATD+79001234567", "ATD+79007654321",
                                          "ATD89120000003"};
const std::vector<std::string> kNames = {"", "Котельная №1", "ЦТП ул. Ленина, д. 5",
                                         "Школа «Ёлочка»"};

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void expectThreeNodes(const NodeDirectory& dir) {
  EXPECT_EQ(dir.NodeCount, 3);
  EXPECT_EQ(dir.NodePhone, kPhones);
  EXPECT_EQ(dir.NodeName, kNames);
  EXPECT_EQ(dir.warning, "");
}

// The invariants every directory keeps, whatever it was read from.
void expectSane(const NodeDirectory& dir) {
  ASSERT_GE(dir.NodeCount, 0);
  ASSERT_LE(dir.NodeCount, kMaxNodes);
  const auto size = static_cast<std::size_t>(dir.NodeCount) + 1;
  ASSERT_EQ(dir.NodePhone.size(), size);
  ASSERT_EQ(dir.NodeName.size(), size);
  ASSERT_EQ(dir.NodeQuick.size(), size);
  ASSERT_EQ(dir.NodePhone[0], "");
  ASSERT_EQ(dir.NodeName[0], "");
  for (std::size_t n = 0; n < size; ++n) {
    ASSERT_TRUE(isValidUtf8(dir.NodePhone[n])) << "phone " << n;
    ASSERT_TRUE(isValidUtf8(dir.NodeName[n])) << "name " << n;
  }
  ASSERT_TRUE(isValidUtf8(dir.warning));
  ASSERT_EQ(dir.phoneForSelection(-1), "");
  ASSERT_EQ(dir.phoneForSelection(dir.NodeCount), "");
  if (dir.NodeCount > 0) {
    ASSERT_EQ(&dir.phoneForSelection(dir.NodeCount - 1), &dir.NodePhone[size - 1]);
  }
}

// --- Encodings ---------------------------------------------------------------

TEST(NodeDirectoryFile, CodePage1251FileWithRussianNamesRoundTrips) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  const std::string cp1251 = utf8ToCp1251(kDirectoryText);
  ASSERT_FALSE(isValidUtf8(cp1251));  // really the code page, not UTF-8
  writeFile(path, cp1251);
  expectThreeNodes(loadNodeDirectory(path));
}

TEST(NodeDirectoryFile, Utf8FileGivesTheSameList) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  writeFile(path, kDirectoryText);
  expectThreeNodes(loadNodeDirectory(path));
}

TEST(NodeDirectoryFile, Utf8FileWithByteOrderMarkGivesTheSameList) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  // The mark sits right before "[baza]" when the comment line is left out.
  const std::string text =
      "\xEF\xBB\xBF" + std::string(kDirectoryText.substr(kDirectoryText.find('[')));
  writeFile(path, text);
  expectThreeNodes(loadNodeDirectory(path));
}

TEST(NodeDirectoryParse, ByteOrderMarkBeforeCodePageTextIsDropped) {
  // A mark in front of text that is not UTF-8: the rest is the code page.
  const std::string text =
      "\xEF\xBB\xBF" + utf8ToCp1251(kDirectoryText.substr(kDirectoryText.find('[')));
  expectThreeNodes(parseNodeDirectory(text));
}

TEST(NodeDirectoryParse, LineFeedAloneEndsLinesToo) {
  std::string text(kDirectoryText);
  std::erase(text, '\r');
  expectThreeNodes(parseNodeDirectory(utf8ToCp1251(text)));
}

TEST(NodeDirectoryParse, UnassignedCodePageByteBecomesReplacementCharacter) {
  const NodeDirectory dir = parseNodeDirectory("[baza]\nkol_uzlov=1\nname_u1=A\x98\xC1\n");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodeName[1], "A\xEF\xBF\xBDБ");
}

// --- Names, blanks, quotes ---------------------------------------------------

TEST(NodeDirectoryParse, SectionAndKeyNamesIgnoreCaseAndValuesAreTrimmed) {
  const NodeDirectory dir = parseNodeDirectory(
      "  [ BaZa ]  \n"
      "KOL_UZLOV \t=\t 2 \n"
      "\tTel_1 =   ATD+7900 111 \t\n"
      "NAME_U1=  Насосная  \n"
      "tEl_2=\"  ATD 222  \"\n"
      "Name_U2 = \"Узел \"\"2\"\"\"\n");
  ASSERT_EQ(dir.NodeCount, 2);
  EXPECT_EQ(dir.NodePhone[1], "ATD+7900 111");
  EXPECT_EQ(dir.NodeName[1], "Насосная");
  // Surrounding quotes go, the blanks inside them stay.
  EXPECT_EQ(dir.NodePhone[2], "  ATD 222  ");
  EXPECT_EQ(dir.NodeName[2], "Узел \"\"2\"\"");
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryParse, AQuoteOnOneSideOnlyStays) {
  const NodeDirectory dir = parseNodeDirectory("[baza]\nkol_uzlov=2\nname_u1=\"Узел\nname_u2=\"\n");
  ASSERT_EQ(dir.NodeCount, 2);
  EXPECT_EQ(dir.NodeName[1], "\"Узел");
  EXPECT_EQ(dir.NodeName[2], "\"");
}

TEST(NodeDirectoryParse, NodeNumbersWithLeadingZerosAreOtherKeys) {
  const NodeDirectory dir =
      parseNodeDirectory("[baza]\nkol_uzlov=1\ntel_01=ATD0\nname_u01=zero\ntel_1=ATD1\n");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodePhone[1], "ATD1");
  EXPECT_EQ(dir.NodeName[1], "");
}

// --- Missing parts -----------------------------------------------------------

TEST(NodeDirectoryParse, NodeWithoutPhoneGetsAnEmptyOneAndEmptiesTheDialText) {
  const NodeDirectory dir =
      parseNodeDirectory("[baza]\nkol_uzlov=2\ntel_1=ATD111\nname_u1=Первый\nname_u2=Второй\n");
  ASSERT_EQ(dir.NodeCount, 2);
  EXPECT_EQ(dir.NodePhone[2], "");
  EXPECT_EQ(dir.NodeName[2], "Второй");
  EXPECT_EQ(dir.phoneForSelection(0), "ATD111");
  EXPECT_EQ(dir.phoneForSelection(1), "");
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryParse, NoSelectionGivesEntryZero) {
  const NodeDirectory dir = parseNodeDirectory("[baza]\nkol_uzlov=1\ntel_1=ATD111\n");
  EXPECT_EQ(dir.phoneForSelection(-1), "");
  EXPECT_EQ(&dir.phoneForSelection(-1), &dir.NodePhone[0]);
  EXPECT_EQ(dir.phoneForSelection(1), "");  // past the last node
  EXPECT_EQ(dir.phoneForSelection(-7), "");

  const NodeDirectory none;
  EXPECT_EQ(none.phoneForSelection(-1), "");
  EXPECT_EQ(none.phoneForSelection(0), "");
}

TEST(NodeDirectoryParse, CountZeroGivesAnEmptyListWithoutWarning) {
  const NodeDirectory dir = parseNodeDirectory("[baza]\nkol_uzlov=0\ntel_1=ATD1\nname_u1=x\n");
  EXPECT_EQ(dir.NodeCount, 0);
  EXPECT_EQ(dir.NodePhone, std::vector<std::string>{""});
  EXPECT_EQ(dir.NodeName, std::vector<std::string>{""});
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryParse, MissingOrEmptyCountGivesAnEmptyListWithoutWarning) {
  for (const char* text : {"", "[baza]\n", "[baza]\ntel_1=ATD1\nname_u1=x\n",
                           "[baza]\nkol_uzlov=\ntel_1=ATD1\n", "[other]\nkol_uzlov=2\n"}) {
    const NodeDirectory dir = parseNodeDirectory(text);
    EXPECT_EQ(dir.NodeCount, 0) << text;
    EXPECT_EQ(dir.NodePhone.size(), 1u) << text;
    EXPECT_EQ(dir.NodeName.size(), 1u) << text;
    EXPECT_EQ(dir.warning, "") << text;
  }
}

TEST(NodeDirectoryFile, MissingFileGivesAnEmptyListWithoutWarning) {
  TempDir tmp;
  const NodeDirectory dir = loadNodeDirectory(tmp.path() / "gsm_csd.ini");
  EXPECT_EQ(dir.NodeCount, 0);
  EXPECT_EQ(dir.NodePhone, std::vector<std::string>{""});
  EXPECT_EQ(dir.NodeName, std::vector<std::string>{""});
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryFile, EmptyFileGivesAnEmptyListWithoutWarning) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  writeFile(path, "");
  const NodeDirectory dir = loadNodeDirectory(path);
  EXPECT_EQ(dir.NodeCount, 0);
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryFile, AFolderInPlaceOfTheFileIsReported) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  std::filesystem::create_directory(path);
  const NodeDirectory dir = loadNodeDirectory(path);
  EXPECT_EQ(dir.NodeCount, 0);
  EXPECT_EQ(dir.NodePhone.size(), 1u);
  EXPECT_EQ(dir.warning.rfind("gsm_csd.ini: ", 0), 0u) << dir.warning;
}

// --- The count ---------------------------------------------------------------

std::string manyNodes(int declared, int defined) {
  std::string text = "[baza]\r\nkol_uzlov=" + std::to_string(declared) + "\r\n";
  for (int n = 1; n <= defined; ++n) {
    text += "tel_" + std::to_string(n) + "=ATD" + std::to_string(79000000000 + n) + "\r\n";
    text += "name_u" + std::to_string(n) + "=" + utf8ToCp1251("Узел ") + std::to_string(n) + "\r\n";
  }
  return text;
}

TEST(NodeDirectoryFile, MoreThan255NodesLoadsTheFirst255WithOneWarning) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  writeFile(path, manyNodes(300, 300));
  const NodeDirectory dir = loadNodeDirectory(path);
  ASSERT_EQ(dir.NodeCount, 255);
  ASSERT_EQ(dir.NodePhone.size(), 256u);
  ASSERT_EQ(dir.NodeName.size(), 256u);
  EXPECT_EQ(dir.NodePhone[1], "ATD79000000001");
  EXPECT_EQ(dir.NodePhone[255], "ATD79000000255");
  EXPECT_EQ(dir.NodeName[255], "Узел 255");
  EXPECT_EQ(dir.phoneForSelection(254), "ATD79000000255");
  EXPECT_EQ(dir.warning, "gsm_csd.ini: kol_uzlov is 300; only the first 255 nodes are used");
}

TEST(NodeDirectoryParse, Exactly255NodesIsNoWarning) {
  const NodeDirectory dir = parseNodeDirectory(manyNodes(255, 255));
  EXPECT_EQ(dir.NodeCount, 255);
  EXPECT_EQ(dir.NodeName[255], "Узел 255");
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryParse, CountAboveTheKeysGivesEmptyTexts) {
  const NodeDirectory dir = parseNodeDirectory(manyNodes(5, 2));
  ASSERT_EQ(dir.NodeCount, 5);
  EXPECT_EQ(dir.NodeName[2], "Узел 2");
  EXPECT_EQ(dir.NodeName[3], "");
  EXPECT_EQ(dir.NodePhone[5], "");
  EXPECT_EQ(dir.warning, "");
}

TEST(NodeDirectoryParse, CountIsASignedDecimalInteger) {
  struct Case {
    const char* value;
    int count;
    bool warns;
  };
  for (const Case c :
       {Case{"2", 2, false}, Case{"+2", 2, false}, Case{"\"2\"", 2, false}, Case{"002", 2, false},
        Case{"2abc", 0, true}, Case{"2 3", 0, true}, Case{"0x2", 0, true}, Case{"two", 0, true},
        Case{"-", 0, true}, Case{"-1", 0, true}, Case{"-0", 0, false}, Case{"99999999999", 0, true},
        Case{"2147483647", 255, true}, Case{"-2147483648", 0, true}}) {
    const NodeDirectory dir =
        parseNodeDirectory(std::string("[baza]\nkol_uzlov=") + c.value + "\ntel_1=ATD1\n");
    EXPECT_EQ(dir.NodeCount, c.count) << c.value;
    EXPECT_EQ(dir.NodePhone.size(), static_cast<std::size_t>(c.count) + 1) << c.value;
    EXPECT_EQ(!dir.warning.empty(), c.warns) << c.value << ": " << dir.warning;
  }
}

// --- File structure ----------------------------------------------------------

TEST(NodeDirectoryParse, CommentsAndBlankLinesAreSkipped) {
  const NodeDirectory dir = parseNodeDirectory(
      "; kol_uzlov=9\n"
      "# [baza]\n"
      "\n"
      "[baza]\n"
      "   \t\n"
      ";kol_uzlov=7\n"
      "  # kol_uzlov=8\n"
      "kol_uzlov=1\n"
      ";tel_1=ATD-comment\n"
      "tel_1=ATD1 ; not a comment here\n");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodePhone[1], "ATD1 ; not a comment here");
}

TEST(NodeDirectoryParse, KeysOutsideTheSectionAreIgnored) {
  const NodeDirectory dir = parseNodeDirectory(
      "kol_uzlov=5\n"
      "tel_1=before-any-section\n"
      "[settings]\n"
      "tel_1=other-section\n"
      "[baza]\n"
      "kol_uzlov=1\n"
      "[bazaar]\n"
      "tel_1=similar-name\n"
      "[baza]\n"
      "tel_1=ATD1\n");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodePhone[1], "ATD1");
}

TEST(NodeDirectoryParse, FirstOfDuplicateKeysWins) {
  const NodeDirectory dir = parseNodeDirectory(
      "[baza]\n"
      "kol_uzlov=1\n"
      "tel_1=ATD-first\n"
      "KOL_UZLOV=3\n"
      "TEL_1=ATD-second\n"
      "[baza]\n"
      "tel_1=ATD-third\n");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodePhone[1], "ATD-first");
}

TEST(NodeDirectoryParse, BrokenLinesAreSkipped) {
  using namespace std::string_view_literals;
  const NodeDirectory dir = parseNodeDirectory(
      "[baza]\n"
      "kol_uzlov=2\n"
      "tel_1\n"        // no '='
      "=ATD-no-key\n"  // no key
      "[baza\n"        // no ']': not a header, the section goes on
      "tel_1=ATD1\n"
      "name_u1=A\0hidden\n"      // NUL ends the line's text
      "tel_2\0=ATD-after-nul\n"  // the '=' is behind the NUL
      "[settings] trailing words\n"
      "tel_2=ATD-other-section\n"sv);
  ASSERT_EQ(dir.NodeCount, 2);
  EXPECT_EQ(dir.NodePhone[1], "ATD1");
  EXPECT_EQ(dir.NodeName[1], "A");
  EXPECT_EQ(dir.NodePhone[2], "");
}

TEST(NodeDirectoryParse, CarriageReturnAloneEndsALine) {
  const NodeDirectory dir = parseNodeDirectory("[baza]\rkol_uzlov=1\rtel_1=ATD1\r");
  ASSERT_EQ(dir.NodeCount, 1);
  EXPECT_EQ(dir.NodePhone[1], "ATD1");
}

TEST(NodeDirectoryFile, OversizedFileIsReadOnlyAtItsStart) {
  TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  std::string text = manyNodes(2, 2);
  const std::string filler = "; " + std::string(1000, 'x') + "\r\n";
  while (text.size() < (std::size_t{5} << 20)) text += filler;
  text += "[baza]\r\nname_u1=too-late\r\n";
  writeFile(path, text);
  const NodeDirectory dir = loadNodeDirectory(path);
  ASSERT_EQ(dir.NodeCount, 2);
  EXPECT_EQ(dir.NodeName[1], "Узел 1");
  EXPECT_EQ(dir.warning.rfind("gsm_csd.ini: the file is larger than", 0), 0u) << dir.warning;
}

// --- Hostile input -----------------------------------------------------------

TEST(NodeDirectoryParse, LargeShapelessInputsKeepTheInvariants) {
  const std::size_t size = std::size_t{1} << 20;
  for (const char fill : {'[', '=', '\0', '\n', ';', '"', '\xC1', '\xD0'}) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(fill)));
    const NodeDirectory dir = parseNodeDirectory(std::string(size, fill));
    ASSERT_NO_FATAL_FAILURE(expectSane(dir));
    EXPECT_EQ(dir.NodeCount, 0);
  }
  // A very long name is kept whole.
  const std::string name(size, 'N');
  const NodeDirectory dir = parseNodeDirectory("[baza]\nkol_uzlov=1\nname_u1=" + name);
  ASSERT_NO_FATAL_FAILURE(expectSane(dir));
  EXPECT_EQ(dir.NodeName[1], name);
}

// Pieces that steer random input into the reader's paths.
const std::vector<std::string> kPieces = {"[baza]",    "[BAZA",
                                          "[ baza ]",  "[x]",
                                          "kol_uzlov", "KOL_UZLOV",
                                          "tel_",      "name_u",
                                          "=",         "\r\n",
                                          "\n",        "\r",
                                          ";",         "#",
                                          "\"",        " ",
                                          "\t",        std::string(1, '\0'),
                                          "1",         "2",
                                          "0",         "-",
                                          "+",         "255",
                                          "300",       "\xEF\xBB\xBF",
                                          "Узел",      "\xD3\xE7\xE5\xEB",
                                          "\x98",      "\xD0",
                                          "]"};

std::string randomBytes(std::mt19937& rng) {
  std::uniform_int_distribution<int> sizeDist(0, 4096);
  std::uniform_int_distribution<int> byteDist(0, 255);
  std::uniform_int_distribution<std::size_t> pieceDist(0, kPieces.size() - 1);
  std::bernoulli_distribution structured(0.6);
  const auto size = static_cast<std::size_t>(sizeDist(rng));
  std::string bytes;
  while (bytes.size() < size) {
    if (structured(rng)) {
      bytes += kPieces[pieceDist(rng)];
    } else {
      bytes.push_back(static_cast<char>(byteDist(rng)));
    }
  }
  return bytes;
}

std::string mutate(std::string bytes, std::mt19937& rng) {
  std::uniform_int_distribution<int> opsDist(1, 8);
  std::uniform_int_distribution<int> kindDist(0, 4);
  std::uniform_int_distribution<int> byteDist(0, 255);
  const int ops = opsDist(rng);
  for (int i = 0; i < ops && !bytes.empty(); ++i) {
    std::uniform_int_distribution<std::size_t> posDist(0, bytes.size() - 1);
    const std::size_t pos = posDist(rng);
    switch (kindDist(rng)) {
      case 0:
        bytes[pos] = static_cast<char>(byteDist(rng));
        break;
      case 1:
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                     static_cast<char>(byteDist(rng)));
        break;
      case 2:
        bytes.erase(pos, 1);
        break;
      case 3:
        bytes.insert(pos, bytes.substr(posDist(rng) % bytes.size(), 64));
        break;
      default:
        bytes.resize(pos);
        break;
    }
  }
  return bytes;
}

TEST(NodeDirectoryParse, RandomBytesKeepTheInvariants) {
  std::mt19937 rng(20110408);
  int withNodes = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string bytes = randomBytes(rng);
    const NodeDirectory dir = parseNodeDirectory(bytes);
    ASSERT_NO_FATAL_FAILURE(expectSane(dir)) << "input " << i;
    if (dir.NodeCount > 0) ++withNodes;
  }
  // The pieces do reach past the header and the count now and then.
  EXPECT_GT(withNodes, 0);
}

TEST(NodeDirectoryParse, MutatedValidFilesKeepTheInvariants) {
  std::mt19937 rng(5);
  const std::vector<std::string> seeds = {utf8ToCp1251(kDirectoryText), std::string(kDirectoryText),
                                          "\xEF\xBB\xBF" + std::string(kDirectoryText),
                                          manyNodes(300, 40)};
  int withNodes = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string bytes = mutate(seeds[static_cast<std::size_t>(i) % seeds.size()], rng);
    const NodeDirectory dir = parseNodeDirectory(bytes);
    ASSERT_NO_FATAL_FAILURE(expectSane(dir)) << "input " << i;
    if (dir.NodeCount > 0) ++withNodes;
  }
  EXPECT_GT(withNodes, 1000);
}

}  // namespace
}  // namespace vardis

namespace vardis {
namespace {

// The modem init string: the directory's own for every node, a node's own
// instead of it; other keys stay ignored.
TEST(NodeDirectoryFile, InitStringsForEveryNodeAndANodesOwn) {
  test::TempDir tmp;
  const auto path = tmp.path() / "gsm_csd.ini";
  std::ofstream(path) << "[baza]\nkol_uzlov=3\ntel_1=ATD1\ntel_2=ATD2\ntel_3=ATD3\n"
                         "init=AT&K0\nINIT_2=AT&K3\nspeed_2=9600\n";
  const NodeDirectory d = loadNodeDirectory(path);
  ASSERT_EQ(d.NodeCount, 3);
  EXPECT_EQ(d.NodeInit, (std::vector<std::string>{"", "AT&K0", "AT&K3", "AT&K0"}));
  EXPECT_EQ(d.warning, "");
}

// The quick drain: quick= for every node, a node's own quick_n instead of it;
// only 1 turns it on, and a value that is neither 1 nor 0 is named.
TEST(NodeDirectoryParse, QuickForEveryNodeAndANodesOwn) {
  const NodeDirectory d =
      parseNodeDirectory("[baza]\nkol_uzlov=4\nquick=1\nQUICK_2=0\nquick_3=yes\nquick_9=1\n");
  EXPECT_EQ(d.NodeQuick, (std::vector<bool>{false, true, false, false, true}));
  EXPECT_EQ(d.warning, "quick_3 is neither 1 nor 0; the full drain is kept");
  EXPECT_EQ(parseNodeDirectory("[baza]\nkol_uzlov=2\nquick_2=1\n").NodeQuick,
            (std::vector<bool>{false, false, true}));
}

}  // namespace
}  // namespace vardis
