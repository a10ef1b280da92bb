// Names of the per-run folders under the temporary path, and their odometer.
#include "run_folder_name.h"

#include "common/path_rules.h"

const char RunLockFileName[] = "Vantorelle.lok";
const wchar_t RunLockFileNameW[] = L"Vantorelle.lok";

// The room the joined name may take in a buffer of pathSize: what is left
// after the trailing '\' added once the folder exists and the lock file's
// name inside it. 0 when nothing is left.
static size_t RunFolderNameRoom(size_t pathSize) {
    size_t reserve = 1 + sizeof(RunLockFileName) - 1;
    return pathSize > reserve ? pathSize - reserve : 0;
}

template <typename Char>
static bool AdvanceRunFolderSuffixOf(Char *path) {
    size_t length = TextLength(path);
    if (length < 3) {
        return false;
    }
    Char *suffix = path + length - 3;
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

bool StartRunFolderName(char *path, size_t pathSize, LeadByteTest isLeadByte) {
    size_t room = RunFolderNameRoom(pathSize);
    return room != 0 && AppendToPath(path, room, "TempFolder.aaa", isLeadByte);
}

bool StartRunFolderName(wchar_t *path, size_t pathSize) {
    size_t room = RunFolderNameRoom(pathSize);
    return room != 0 && AppendToPath(path, room, L"TempFolder.aaa");
}

bool AdvanceRunFolderSuffix(char *path) {
    return AdvanceRunFolderSuffixOf(path);
}

bool AdvanceRunFolderSuffix(wchar_t *path) {
    return AdvanceRunFolderSuffixOf(path);
}
