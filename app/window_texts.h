// The window speaks Russian. The core's messages are English (vardis-cli
// prints them as they are); here, at the window's edge, each kind of them is
// put into Russian. The runtime's own messages ("'%s' is not a valid integer
// value", "I/O error %d") and texts that are Russian already pass unchanged.
#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <string>

#include "store/sqlite_db.h"
#include "store/store_location.h"

namespace vardis {

// The Russian of a message of the core: an error that ended a command, a
// memo line, a warning of the node file.
QString windowText(const std::string& message);

// A memo line of the core: in Russian when it is of a known kind, else as it
// is (the diagnostic lines such as "speed=8" and "OK=0").
QString memoText(const std::string& line);

// The store's name as the window shows it: the file's path, or the
// PostgreSQL location with any password as "***".
QString storeName(const store::StoreLocation& location);

// Why the store of readings is given up, in Russian: its fault (when the
// store said one) and the store's name. The readings go on without it.
QString storeWarningText(std::optional<store::StoreFault> fault,
                         const store::StoreLocation& location, const std::string& message);

// Why a store cannot be used, in a few Russian words ("занята другой программой").
QString storeReasonText(store::StoreFault fault);

// The Russian of a reason the system gave for a port that does not open.
QString systemReasonText(const std::string& reason);

// Whether `text` holds a Cyrillic letter (a message put into Russian does).
bool hasCyrillic(const QString& text);

}  // namespace vardis
