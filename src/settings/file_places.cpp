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
    // Decided once: a folder that refuses new files today does so for the rest of the run.
    std::optional<bool> beside_executable;
};

Places& Known() {
    static Places places;
    if (places.run_dir != run_dir) places = Places{run_dir, std::nullopt, std::nullopt};
    return places;
}

bool BesideExecutable() {
    Places& places = Known();
    if (!places.beside_executable)
        places.beside_executable = UserFolder().empty() || CanCreateFilesIn(run_dir);
    return *places.beside_executable;
}

}  // namespace

std::string UserFolder() {
    const std::string data = UserDataFolder();
    return data.empty() ? data : data + "\\TorvekQuindle";
}

std::string PathToRead(std::string_view name) {
    Places& places = Known();
    if (!places.beside_executable) {
        // Without a user's folder every file is read from beside the executable, whichever
        // folder turns out to be in use: no need to find out yet.
        if (!places.user_folder_exists) places.user_folder_exists = FolderExists(UserFolder());
        if (!*places.user_folder_exists) return run_dir + std::string(name);
    }
    const std::string own = PathInUse(name);
    return BesideExecutable() || StampOf(own) ? own : run_dir + std::string(name);
}

std::string PathInUse(std::string_view name) {
    return (BesideExecutable() ? run_dir : UserFolder()) + std::string(name);
}

std::string PathToWrite(std::string_view name) {
    if (!BesideExecutable()) {
        Places& places = Known();
        if (!places.user_folder_exists.value_or(false)) {
            CreateDirectoryAt(UserFolder());
            places.user_folder_exists = FolderExists(UserFolder());
        }
    }
    return PathInUse(name);
}

}  // namespace tq
