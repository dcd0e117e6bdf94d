#pragma once
// A downloaded package archive and its description "gantry.txt": the package name, its home
// page and the directives that say which entries are installed where.

#include "common/Types.h"
#include "gantry/client/PackageDirective.h"
#include "gantry/client/ZipReader.h"

#include <cstddef>
#include <string_view>

namespace quillory {

class PackageArchive {
public:
    // Largest "gantry.txt" read; a larger one rejects the archive.
    static constexpr size_t kMaxDescriptionSize = 1024 * 1024;

    explicit PackageArchive(String archivePath);
    virtual ~PackageArchive();
    PackageArchive(const PackageArchive&) = delete;
    PackageArchive& operator=(const PackageArchive&) = delete;

    // Opens the archive and reads its description. True: the archive can be installed, and it
    // stays open for the installer. False: it must be rejected (not a zip, no entries, a
    // description that cannot be read or is malformed, or an entry that would be placed
    // outside the game folder).
    bool Parse();
    // Why Parse refused the archive, naming the entry or the line and the rule.
    const String& Refusal() const { return refusal_; }

    bool HasDescription() const { return hasDescription_; }
    const String& PackageName() const { return packageName_; }
    const String& InfoUrl() const { return infoUrl_; }
    const HandleArray<PackageDirective>& Directives() const { return directives_; }
    // The open archive, for reading the entries after a successful Parse.
    CZipReader& Zip() { return zip_; }

    // The package name a description without PACKAGE gives: the last piece of the path
    // without its extension (a leading '.' alone is no extension).
    static String NameFromPath(std::string_view archivePath);

private:
    enum class Found { Description, None, Error };

    Found ReadDescriptionText(String& text);
    bool ParseBlock(std::string_view block);
    bool ParseLine(std::string_view line, size_t lineNumber);
    bool Refuse(String why);
    void Finish();
    bool AllEntriesStayInside();

    String archivePath_;
    String refusal_;
    bool hasDescription_ = false;
    String packageName_;
    String infoUrl_;
    HandleArray<PackageDirective> directives_;
    CZipReader zip_;
};

} // namespace quillory
