#pragma once
// The self-upgrade's texts on the Link button, in the order they can appear.

namespace quillory {

inline constexpr char UPGRADE_CONNECTING[] = "Connecting";
inline constexpr char UPGRADE_INIT_FAILED[] = "Error: init failed";
inline constexpr char UPGRADE_CONNECT_FAILED[] = "Error: connect failed";
inline constexpr char UPGRADE_COULD_NOT_WRITE[] = "Error: could not write";
inline constexpr char UPGRADE_DOWNLOADING_FAILED[] = "Error: Downloading file";
inline constexpr char UPGRADE_CANCELLED[] = "Upgrade cancelled";
inline constexpr char UPGRADE_SIGNATURE[] = "Error: signature";
inline constexpr char UPGRADE_EXTRACTING[] = "Extracting files";
inline constexpr char UPGRADE_OPENING_ARCHIVE[] = "Error: opening archive";
inline constexpr char UPGRADE_READING_ARCHIVE[] = "Error: reading archive";
inline constexpr char UPGRADE_CREATING_FILE[] = "Error: creating file";
inline constexpr char UPGRADE_EXTRACTING_DATA[] = "Error: extracting data";
inline constexpr char UPGRADE_CHECKSUM[] = "Error: checksum failed";
inline constexpr char UPGRADE_RESTART[] = "Restart";

} // namespace quillory
