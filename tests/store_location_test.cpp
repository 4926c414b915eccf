// What a --store text names, and that no password of one ever shows.
#include "store/store_location.h"

#include <gtest/gtest.h>

namespace vardis::store {
namespace {

TEST(StoreLocation, TextsNameAFileOrAServerAndAnythingElseIsRefused) {
  EXPECT_EQ(parseStoreLocation("", "/data").file, "/data/vardis.sqlite");
  const StoreLocation file = parseStoreLocation("sqlite:/srv/old.sqlite", "/data");
  EXPECT_FALSE(file.postgres());
  EXPECT_EQ(file.file, "/srv/old.sqlite");
  for (const char* server : {"postgresql://vardis@db.example/vardis?sslmode=require",
                             "postgres://db/vardis", "service=vardis", "host=db dbname=vardis"}) {
    const StoreLocation l = parseStoreLocation(server, "/data");
    EXPECT_TRUE(l.postgres()) << server;
    EXPECT_EQ(l.conninfo, server);
  }
  for (const char* bad : {"sqlite:", "mysql://db/vardis", "vardis.sqlite", "host=db port",
                          "postgresql://db/vardis?nosuchoption=1"}) {
    EXPECT_THROW(parseStoreLocation(bad, "/data"), std::invalid_argument) << bad;
  }
}

TEST(StoreLocation, EveryPasswordIsMaskedWhereverItStands) {
  const std::pair<const char*, const char*> cases[] = {
      {"postgresql://vardis:secret@db/vardis", "postgresql://vardis:***@db/vardis"},
      {"postgresql://db/vardis?sslmode=require&password=secret",
       "postgresql://db/vardis?sslmode=require&password=***"},
      {"host=db password=secret dbname=vardis", "host=db password=*** dbname=vardis"},
      {"host=db password = 'se cr\\'et' dbname=vardis", "host=db password = *** dbname=vardis"},
      {"the store postgresql://u:p%40ss@h/d is gone", "the store postgresql://u:***@h/d is gone"},
      {"postgresql://vardis@db/vardis", "postgresql://vardis@db/vardis"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(maskPasswords(text), shown) << text;
  try {
    parseStoreLocation("postgresql://vardis:secret@db/vardis?nosuchoption=1", "/data");
    FAIL() << "a bad option was taken";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace vardis::store
