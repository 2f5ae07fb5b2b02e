// User texts by key, from the strings resource of "IDS_KEY" = "text"; lines.
#pragma once

#include <QString>

// The text of key; a key the table does not hold answers itself, so a missing text shows the
// key rather than nothing. Safe to call from any thread.
QString LocalizedString(const char *key);
QString LocalizedString(const QString &key);
