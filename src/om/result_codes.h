// Result codes of the procedures, and the exit codes of the program.
#pragma once

namespace om {

inline constexpr int RC_OK = 0;                    // export done and file closed
inline constexpr int RC_OUTLOOK_UNAVAILABLE = 51;  // no application object or namespace
inline constexpr int RC_FILE_OPEN_FAILED = 52;     // the output file could not be opened
inline constexpr int RC_FILE_WRITE_FAILED = 53;    // a line could not be written (never an exit code)
inline constexpr int RC_FILE_CLOSE_FAILED = 54;    // the output file could not be closed
inline constexpr int RC_FOLDER_FAILED = 55;        // no folder to export, or a folder failed
inline constexpr int RC_EXPORT_FAILED = 56;        // the folder walk failed
inline constexpr int RC_ALREADY_RUNNING = 57;      // another instance is running

}  // namespace om
