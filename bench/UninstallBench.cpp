// How fast "Uninstall.exe -s" removes a big install, beside the least any removal can
// do on the same tree in the same prefix (one attribute query and one delete per
// entry, deepest first) and, for scale, the command interpreter's "rd /s /q".
//
// UninstallBench.exe <Uninstall.exe> [work folder]   (run under Wine: scripts/bench-uninstall.sh)

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFilesPerFolder = 10;
constexpr int kDepth = 6;
constexpr int kFolderCount = 2000;

struct Tree {
    // Relative paths in list order: every folder before its contents.
    std::vector<std::wstring> entries;
    std::vector<bool> isFolder;
};

// Children per folder at each level; the last level takes what is left of the 2,000.
Tree PlanTree() {
    Tree tree;
    const int fanOut[kDepth - 1] = {4, 3, 3, 3, 3};
    std::vector<std::wstring> level = {L""};
    std::vector<std::vector<std::wstring>> levels;
    int folders = 0;
    for (int depth = 0; depth < kDepth; ++depth) {
        std::vector<std::wstring> next;
        const size_t parents = level.size();
        int remaining = kFolderCount - folders;
        for (size_t p = 0; p < parents; ++p) {
            int children = depth < kDepth - 1 ? fanOut[depth]
                                              : remaining / static_cast<int>(parents - p);
            if (depth == kDepth - 1) remaining -= children;
            for (int c = 0; c < children; ++c)
                next.push_back((level[p].empty() ? L"" : level[p] + L"\\") + L"folder" + std::to_wstring(c));
        }
        folders += static_cast<int>(next.size());
        levels.push_back(next);
        level = next;
    }
    // Pre-order: a folder, its files, then its sub-folders.
    std::vector<std::wstring> all;
    for (const auto& l : levels) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    for (const auto& folder : all) {
        tree.entries.push_back(folder);
        tree.isFolder.push_back(true);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            tree.entries.push_back(folder + L"\\file" + std::to_wstring(f) + L".dat");
            tree.isFolder.push_back(false);
        }
    }
    return tree;
}

bool BuildTree(const std::wstring& root, const Tree& tree) {
    CreateDirectoryW(root.c_str(), nullptr);
    const char data[64] = "sample contents";
    for (size_t i = 0; i < tree.entries.size(); ++i) {
        const std::wstring path = root + L"\\" + tree.entries[i];
        if (tree.isFolder[i]) {
            if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
            continue;
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written;
        WriteFile(file, data, sizeof data, &written, nullptr);
        CloseHandle(file);
    }
    return true;
}

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

// Starts a command line in a folder and waits for it; the seconds it took, or -1.
double TimeCommand(std::wstring command, const std::wstring& folder) {
    // The self-removal batch inherits the program's standard handles; keep its echo quiet.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    const LARGE_INTEGER start = Now();
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &process);
    CloseHandle(nul);
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    const LARGE_INTEGER end = Now();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Seconds(start, end);
}

// The floor: one attribute query and one delete per entry, folders deepest first.
double TimeFloor(const std::wstring& root, const Tree& tree) {
    std::vector<size_t> order(tree.entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::count(tree.entries[a].begin(), tree.entries[a].end(), L'\\') >
               std::count(tree.entries[b].begin(), tree.entries[b].end(), L'\\');
    });
    std::vector<std::wstring> paths;
    for (size_t i : order) paths.push_back(root + L"\\" + tree.entries[i]);
    const LARGE_INTEGER start = Now();
    for (const auto& path : paths) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(path.c_str());
        else
            DeleteFileW(path.c_str());
    }
    return Seconds(start, Now());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

size_t CountLeft(const std::wstring& root, const Tree& tree) {
    size_t left = 0;
    for (const auto& entry : tree.entries) left += Exists(root + L"\\" + entry);
    return left;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        fwprintf(stderr, L"usage: UninstallBench <Uninstall.exe> [work folder]\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const std::wstring work = argc > 2 ? argv[2] : L"C:\\tvxbench";
    const Tree tree = PlanTree();
    size_t folders = std::count(tree.isFolder.begin(), tree.isFolder.end(), true);
    wprintf(L"tree: %zu files in %zu folders, %d levels deep, folders listed before their contents\n",
            tree.entries.size() - folders, folders, kDepth);

    CreateDirectoryW(work.c_str(), nullptr);
    // Two rounds in the order uninstall, floor, floor, uninstall, so that a machine
    // that grows busier or quieter during the run favours neither; the best of each counts.
    std::wstring installs[2], floors[2];
    for (int round = 0; round < 2; ++round) {
        const std::wstring parent = work + L"\\uninstall" + std::to_wstring(round);
        CreateDirectoryW(parent.c_str(), nullptr);
        installs[round] = parent + L"\\Tervix";
        floors[round] = work + L"\\floor" + std::to_wstring(round);
        if (!BuildTree(installs[round], tree) || !BuildTree(floors[round], tree) ||
            !CopyFileW(program.c_str(), (installs[round] + L"\\Uninstall.exe").c_str(), FALSE)) {
            fwprintf(stderr, L"could not lay out the trees below %ls\n", work.c_str());
            return 1;
        }
        std::string list;
        for (const auto& entry : tree.entries) list += std::string(entry.begin(), entry.end()) + "\r\n";
        list += "Uninstall.exe\r\nUninstall.lst\r\n";
        HANDLE file = CreateFileW((installs[round] + L"\\Uninstall.lst").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        WriteFile(file, list.data(), static_cast<DWORD>(list.size()), &written, nullptr);
        CloseHandle(file);
    }
    const std::wstring rdRoot = work + L"\\rd";
    if (!BuildTree(rdRoot, tree)) return 1;
    // The same program on an empty list: start-up, registry and shell clean-up, batch.
    const std::wstring emptyInstall = work + L"\\empty\\Tervix";
    CreateDirectoryW((work + L"\\empty").c_str(), nullptr);
    CreateDirectoryW(emptyInstall.c_str(), nullptr);
    CopyFileW(program.c_str(), (emptyInstall + L"\\Uninstall.exe").c_str(), FALSE);
    CloseHandle(CreateFileW((emptyInstall + L"\\Uninstall.lst").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr));

    double uninstallTimes[2], floorTimes[2];
    size_t left = 0;
    auto timeUninstall = [&](int round) {
        uninstallTimes[round] = TimeCommand(L"\"" + installs[round] + L"\\Uninstall.exe\" -s", installs[round]);
        left += CountLeft(installs[round], tree);
        // The batch that removes the program and the folder runs on; let it finish first.
        for (int i = 0; i < 600 && Exists(installs[round]); ++i) Sleep(100);
        if (Exists(installs[round])) ++left;
    };
    auto timeFloor = [&](int round) {
        floorTimes[round] = TimeFloor(floors[round], tree);
        left += CountLeft(floors[round], tree);
    };
    timeUninstall(0);
    timeFloor(0);
    timeFloor(1);
    timeUninstall(1);
    const double fixed = TimeCommand(L"\"" + emptyInstall + L"\\Uninstall.exe\" -s", emptyInstall);
    for (int i = 0; i < 600 && Exists(emptyInstall); ++i) Sleep(100);
    const double rd = TimeCommand(L"cmd.exe /c rd /s /q \"" + rdRoot + L"\"", work);
    left += Exists(rdRoot);

    const double uninstall = std::min(uninstallTimes[0], uninstallTimes[1]);
    const double floor = std::min(floorTimes[0], floorTimes[1]);
    wprintf(L"Uninstall.exe -s   %7.2f s  (rounds %.2f and %.2f s; whole process, from start to exit)\n", uninstall,
            uninstallTimes[0], uninstallTimes[1]);
    wprintf(L"  of which fixed   %7.2f s  (the same run on an empty list)\n", fixed);
    wprintf(L"floor              %7.2f s  (rounds %.2f and %.2f s)\n", floor, floorTimes[0], floorTimes[1]);
    wprintf(L"cmd /c rd /s /q    %7.2f s\n", rd);
    wprintf(L"ratio to floor     %7.2f  (aim: at most 1.50)\n", floor > 0 ? uninstall / floor : 0.0);
    wprintf(L"rd to floor        %7.2f\n", floor > 0 ? rd / floor : 0.0);
    if (left) wprintf(L"%zu entries were left behind\n", left);

    for (int round = 0; round < 2; ++round) {
        RemoveDirectoryW(floors[round].c_str());
        RemoveDirectoryW((work + L"\\uninstall" + std::to_wstring(round)).c_str());
    }
    RemoveDirectoryW((work + L"\\empty").c_str());
    RemoveDirectoryW(work.c_str());
    LocalFree(argv);
    return left == 0 ? 0 : 1;
}
