#pragma once
// "offer.ini" beside the archives of the Gantry folder: the server's ten texts and, for each
// archive, the priority, home page and two further texts the description gives its package.
//
//   # comment                 ; comment
//   name = Vale Coop           (server text 1; also info, admin, teamspeak = texts 2 to 4,
//   text5 = ...                 and text1 ... text10)
//   [islands.zip]              (an archive of the folder, any letter case)
//   priority = 7               (0 to 10)
//   homepage = http://example.org/islands
//   text3 = ...
//   text4 = ...

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace quillory::sim {

struct OfferedPackageSettings {
    uint32_t priority = 5;               // "Recommended"
    std::optional<std::string> homePage; // absent: the archive's own INFOURL
    std::string text3;
    std::string text4;
};

struct OfferSettings {
    std::array<std::string, 10> serverTexts;
    // By archive file name in lower case.
    std::map<std::string, OfferedPackageSettings> packages;

    // The settings of one archive, defaults when the file names none.
    OfferedPackageSettings ForArchive(const std::string& fileName) const;
};

// Reads the text of "offer.ini" over `settings`; false with the line and reason in `error`.
bool ReadOfferSettings(const std::string& text, OfferSettings& settings, std::string& error);

} // namespace quillory::sim
