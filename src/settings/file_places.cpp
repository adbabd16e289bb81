#include "settings/file_places.h"

#include <optional>

#include "app/globals.h"
#include "runtime/facilities.h"

namespace tq {

namespace {

// What is known of the folders of the run_dir it was found for (tests move run_dir).
struct Places {
    std::string run_dir;
    std::optional<bool> user_folder_exists;
    // Decided once: a folder in use stays in use for the rest of the run.
    std::optional<bool> beside_executable;
};

Places& Known() {
    static Places places;
    if (places.run_dir != run_dir) places = Places{run_dir, std::nullopt, std::nullopt};
    return places;
}

bool UserFolderExists() {
    Places& places = Known();
    if (!places.user_folder_exists) places.user_folder_exists = FolderExists(UserFolder());
    return *places.user_folder_exists;
}

bool UserFolderHolds(std::string_view name) {
    return UserFolderExists() && FileExists(UserFolder() + std::string(name));
}

// Whether the program's folder is in use, when what exists tells.
std::optional<bool> BesideExecutableByWhatExists() {
    Places& places = Known();
    if (!places.beside_executable) {
        if (UserFolder().empty()) {
            places.beside_executable = true;
        } else if (UserFolderHolds(kSettingsFileName) || UserFolderHolds(kPictureFileName)) {
            places.beside_executable = false;
        }
    }
    return places.beside_executable;
}

// The same when a write is due: otherwise the program's folder is in use exactly when it takes
// a new file.
bool BesideExecutable() {
    if (const std::optional<bool> known = BesideExecutableByWhatExists()) return *known;
    return *(Known().beside_executable = CanCreateFilesIn(run_dir));
}

}  // namespace

std::string UserFolder() {
    const std::string data = UserDataFolder();
    return data.empty() ? data : data + "\\TorvekQuindle";
}

std::string PathToRead(std::string_view name) {
    return (UserFolderHolds(name) ? UserFolder() : run_dir) + std::string(name);
}

std::string PathInUse(std::string_view name) {
    const std::string beside = run_dir + std::string(name);
    // Neither folder holds the file while nothing tells which is in use: any of the two paths
    // names no file, and no write is due.
    if (!BesideExecutableByWhatExists() && !FileExists(beside)) return beside;
    return BesideExecutable() ? beside : UserFolder() + std::string(name);
}

std::string PathToWrite(std::string_view name) {
    if (!BesideExecutable() && !UserFolderExists()) {
        CreateDirectoryAt(UserFolder());
        Known().user_folder_exists = FolderExists(UserFolder());
    }
    return PathInUse(name);
}

}  // namespace tq
