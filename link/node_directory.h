// The directory of metering nodes reachable by a GSM call: "gsm_csd.ini".
//
// The file is an INI file read the way the Windows profile functions read it:
//
//   [baza]
//   kol_uzlov=2
//   tel_1=ATD+79001234567
//   name_u1=Котельная №1
//   tel_2=ATD+79007654321
//   name_u2=ЦТП ул. Ленина
//   init=AT&K0          (optional: sent to the modem before every dial)
//   init_2=AT&K3        (optional: node 2's own, instead of init=)
//   quick=1             (optional: the quick drain for every node's calls)
//   quick_2=0           (optional: node 2's own, instead of quick=)
//
// - Section and key names are compared without regard to ASCII case; blanks
//   and tabs around names and values are dropped; a value wholly enclosed in
//   double quotes loses them.
// - A line whose first non-blank character is ';' or '#' is a comment; blank
//   lines, lines without '=', keys outside any section and keys of other
//   sections are ignored. A section header without ']' is ignored as well.
//   Lines end with LF, CR LF or CR. A NUL byte ends its line's text.
// - Every "[baza]" section of the file is searched; of keys that occur more
//   than once the first one counts.
// - "kol_uzlov" is a decimal integer with an optional sign; anything else
//   (trailing characters, out of 32-bit range) reads as 0. Node n has the keys
//   "tel_" + n and "name_u" + n, with n written without leading zeros.
// - The bytes are code page 1251. A file that holds non-ASCII bytes forming
//   valid UTF-8 is read as UTF-8; a UTF-8 byte order mark is dropped.
//   All texts handed out are UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vardis {

// The most nodes the directory holds.
inline constexpr int kMaxNodes = 255;

struct NodeDirectory {
  // Nodes loaded, 0 .. kMaxNodes.
  int NodeCount = 0;
  // Dial command of node n at index n (1 .. NodeCount); index 0 is always "".
  std::vector<std::string> NodePhone{std::string()};
  // Name of node n at index n (1 .. NodeCount), as listed; index 0 is always "".
  std::vector<std::string> NodeName{std::string()};
  // The modem init string sent before dialling node n ("" for none): its own
  // init_n, else the directory's init.
  std::vector<std::string> NodeInit{std::string()};
  // Whether node n is read with the quick drain: its own quick_n, else the
  // directory's quick (1: on, 0 or absent: off).
  std::vector<bool> NodeQuick{false};
  // One message when something in the file was off (a node count above
  // kMaxNodes, a count that is not a number, an unreadable file), else "".
  // A missing file or a missing key is not worth a message.
  std::string warning;

  // The phone for a list position (0-based) of the node list: position p is
  // node p + 1. No selection (-1), or any position without a node, gives
  // entry 0, that is "".
  const std::string& phoneForSelection(int position) const;
};

// Reads the directory from a file. A missing file gives an empty directory
// without a warning. Never throws; reads at most a few megabytes.
NodeDirectory loadNodeDirectory(const std::filesystem::path& file);

// Reads the directory from the bytes of a file. Never throws; the time taken
// and the memory used grow linearly with the input.
NodeDirectory parseNodeDirectory(std::string_view bytes);

}  // namespace vardis
