// Prints how long the platform layer takes for the file-system work of an uninstall:
// scanning a tree, looking up single entries and deleting the tree through the shell.
// Under Wine every file-system call goes through the wineserver, so these figures are
// the ones that decide how long a real uninstall takes there.
#include <windows.h>

#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

}  // namespace

int main() {
    constexpr int kFolders = 20;
    constexpr int kFilesPerFolder = 100;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t root[tvx::kPathCapacity];
    tvx::FormatText(root, tvx::kPathCapacity, L"%lstvxbench-%lu", temp, GetCurrentProcessId());
    tvx::CreateFolder(root);

    LARGE_INTEGER start = Now();
    for (int f = 0; f < kFolders; ++f) {
        wchar_t folder[tvx::kPathCapacity];
        tvx::FormatText(folder, tvx::kPathCapacity, L"%ls\\folder%02d", root, f);
        tvx::CreateFolder(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            wchar_t name[tvx::kPathCapacity];
            tvx::FormatText(name, tvx::kPathCapacity, L"%ls\\file%03d.dat", folder, i);
            FILE* file = tvx::OpenCrtFile(name, L"wb");
            if (file != nullptr) fclose(file);
        }
    }
    double create = Seconds(start, Now());

    start = Now();
    int scanned = 0;
    for (int f = 0; f < kFolders; ++f) {
        wchar_t mask[tvx::kPathCapacity];
        tvx::FormatText(mask, tvx::kPathCapacity, L"%ls\\folder%02d\\*", root, f);
        tvx::DirectoryScan scan;
        scan.SetMask(mask);
        tvx::FoundEntry record;
        while (scan.Next(&record)) ++scanned;
    }
    double scan = Seconds(start, Now());

    start = Now();
    int found = 0;
    for (int i = 0; i < kFilesPerFolder; ++i) {
        wchar_t name[tvx::kPathCapacity];
        tvx::FormatText(name, tvx::kPathCapacity, L"%ls\\folder00\\file%03d.dat", root, i);
        tvx::FoundEntry record;
        if (tvx::FindSingle(name, &record)) ++found;
        if (tvx::FileExists(name)) ++found;
    }
    double lookups = Seconds(start, Now());

    start = Now();
    tvx::DeleteFolderTree(root);
    double remove = Seconds(start, Now());

    int entries = kFolders * kFilesPerFolder;
    printf("created %d files in %d folders: %.3f s\n", entries, kFolders, create);
    printf("scanned %d entries: %.3f s (%.1f us per entry)\n", scanned, scan, scan * 1e6 / (scanned ? scanned : 1));
    printf("%d single lookups: %.3f s (%.1f us each)\n", 2 * kFilesPerFolder, lookups,
           lookups * 1e6 / (2 * kFilesPerFolder));
    printf("shell tree delete of %d entries: %.3f s, tree %s\n", entries + kFolders, remove,
           tvx::FileExists(root) ? "still there" : "gone");
    return found == 2 * kFilesPerFolder && scanned == entries && !tvx::FileExists(root) ? 0 : 1;
}
