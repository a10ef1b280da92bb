// Names of the per-run folders under the temporary path, and their odometer.
#include "run_folder_name.h"

#include "common/path_rules.h"

const char RunLockFileName[] = "Vantorelle.lok";

bool StartRunFolderName(char *path, size_t pathSize) {
    // Room needed beyond the joined name: the trailing '\' added once the
    // folder exists, then the lock file's name inside it.
    size_t reserve = 1 + sizeof(RunLockFileName) - 1;
    if (pathSize <= reserve) {
        return false;
    }
    if (!AppendToPath(path, pathSize - reserve, "TempFolder.aaa")) {
        return false;
    }
    return true;
}

bool AdvanceRunFolderSuffix(char *path) {
    size_t length = TextLength(path);
    if (length < 3) {
        return false;
    }
    char *suffix = path + length - 3;
    if (suffix[0] == 'z' && suffix[1] == 'z' && suffix[2] == 'z') {
        return false;
    }
    for (int position = 2; position >= 0; position--) {
        if (suffix[position] < 'z') {
            suffix[position]++;
            return true;
        }
        suffix[position] = 'a';
    }
    return false;  // not reached: zzz was handled above
}
