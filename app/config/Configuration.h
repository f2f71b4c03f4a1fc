// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/Settings.h"

#include <QString>

class Base64;

// Fills paths from appPath, then catalog and settings from the INI file in that folder.
// codec must exist and settings must hold its defaults.
// A stored RequireLogin that the codec rejects means a login is required; a stored Password
// that it rejects counts as missing (PasswordStored stays false).
void LoadConfiguration(const QString& appPath, LocalPaths& paths, ApplCatalog& catalog,
                       RouterSettings& settings, Base64* codec);

// The Base64 form of text as one line, ready to be stored as an INI value (the codec breaks
// its output every 76 characters, which one value cannot hold; Decode accepts the joined
// form). Empty text when the codec rejects the text (empty text, or text too long).
QString EncodeSetting(Base64& codec, const QString& text);

// Key `Selected` of [Misc]: the display names of the last forwarded rows, each followed by a
// comma. The read comes back cut to 254 characters, like every INI read.
QString ReadSelected(const LocalPaths& paths);
bool WriteSelected(const LocalPaths& paths, const QString& sSelected);
