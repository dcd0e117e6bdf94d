#pragma once
// What the front ends say and open about an offered upgrade, whoever runs it.

#include "common/Types.h"

namespace quillory {

// The version an offer names: the last word of the link's caption that starts with a digit
// ("Upgrade to 0.97"), else the digits and dots of the archive's file name; empty when neither
// names one.
String OfferedVersion(const String& caption, const String& link);

// "Quillory VERSION is available. Update it with your system's package manager."
String PackageManagerText(const String& version);

// The page to download a release from: the folder of an archive's address, or the address
// itself when it names a page.
String DownloadPage(const String& link);

// Whether a desktop's opener may be handed `link`: http:// and https:// only, in any case.
bool IsBrowserLink(const String& link);

} // namespace quillory
