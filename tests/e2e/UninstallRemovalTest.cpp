// The uninstall as a user runs it: a sample install, the confirmation answered, and
// afterwards nothing of the product left, neither files nor registry keys nor batch.
// The install folder is gone when the program returns.

#include <algorithm>

#include "UninstallScenarioSupport.h"
#include "resources/ResourceIds.h"

namespace uninstalltest {
namespace {

const wchar_t kInstall[] = L"C:\\Program Files\\Tervix";

// Folders listed before their contents, attributes that block a plain delete, the
// list's own odd lines, and the two names the uninstall must leave to others.
void LayOutSample(SampleInstall& install) {
    ASSERT_TRUE(install.MakeFolder(L"Formats"));
    ASSERT_TRUE(install.MakeFolder(L"Formats\\Deep"));
    ASSERT_TRUE(install.MakeFolder(L"Lang"));
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    ASSERT_TRUE(install.MakeFile(L"tvxext.dll", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(install.MakeFile(L"Formats\\zip.fmt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(install.MakeFile(L"Formats\\Deep\\rev.fmt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(install.MakeFile(L"Lang\\uninstall.lng"));
    ASSERT_TRUE(install.MakeFile(L" Read me.txt"));
    ASSERT_TRUE(install.MakeFile(L"tervix.gid"));
    ASSERT_TRUE(install.MakeFile(L"tervix.fts", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(install.WriteList("Formats\r\nFormats\\Deep  \r\nLang\t\r\nTervix.exe \t \r\n"
                                  "tvxext.dll\r\r\nFormats\\zip.fmt\nFormats\\Deep\\rev.fmt\n\n"
                                  "Lang\\uninstall.lng\n Read me.txt\nUninstall.exe\nUninstall.lst\n"));
}

void ExpectProductGone(const SampleInstall& install) {
    EXPECT_FALSE(PathExists(install.Folder())) << "install folder still there";
    EXPECT_EQ(ProductKeysLeft(), 0);
    EXPECT_TRUE(WaitUntilBatchesGone(20000)) << "batch still there";
}

TEST(UninstallSample, ConfirmedUninstallLeavesNothingBehind) {
    SampleInstall install(kInstall);
    LayOutSample(install);
    WriteProductKeys();
    const std::wstring webView = TempPath() + L"Tervix.exe.WebView2";
    ASSERT_TRUE(CreateDirectoryW(webView.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((webView + L"\\EBWebView").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(webView + L"\\EBWebView\\Local State", "{}"));

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall));
    HWND question = WaitForSecondDialog(uninstall.id(), 20000);
    ASSERT_NE(question, nullptr);
    ASSERT_FALSE(ProgramText(IDS_CONTINUEUNINSTALL).empty());
    EXPECT_EQ(MessageBoxText(question), ProgramText(IDS_CONTINUEUNINSTALL));
    EXPECT_EQ(WindowText(question), ProgramText(IDS_UNINSTALLTVX));
    // Nothing is removed before the answer.
    EXPECT_TRUE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_EQ(ProductKeysLeft(), 7);
    ASSERT_TRUE(PressButton(question, IDYES));

    // Nothing was deferred, so no restart notice follows.
    const QuietEnd end = WaitForQuietEnd(uninstall, 60000, [&] { return BoxesOtherThan(uninstall.id(), question); });
    ASSERT_EQ(end.shown, nullptr) << "unexpected message";
    EXPECT_EQ(end.exitCode, 0u);

    ExpectProductGone(install);
    EXPECT_FALSE(PathExists(webView));
}

// A deployment tool goes on as soon as the uninstall returns: the folder is gone by
// then, and the next version laid into it is left alone by what the uninstall left.
TEST(UninstallSample, SilentUninstallIsDoneWhenItReturnsAndANewInstallRightAfterStaysIntact) {
    SampleInstall install(kInstall);
    LayOutSample(install);
    WriteProductKeys();

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall, L"-s"));
    const QuietEnd end = WaitForQuietEnd(uninstall, 30000, MessageBoxes);
    ASSERT_EQ(end.shown, nullptr) << Narrow(WindowText(end.shown));
    ASSERT_TRUE(end.ended);
    EXPECT_EQ(end.exitCode, 0u);
    EXPECT_FALSE(PathExists(install.Folder())) << "install folder still there when the uninstall returned";

    Sleep(1000);
    SampleInstall next(kInstall);
    ASSERT_TRUE(next.MakeFile(L"Tervix.exe"));
    // Nothing shows meanwhile either, from the batch or anything it starts.
    std::vector<HWND> boxes;
    WaitUntil([&] { return !(boxes = MessageBoxes()).empty(); }, 10000);
    ASSERT_TRUE(boxes.empty()) << Narrow(WindowText(boxes.front()));
    EXPECT_TRUE(PathExists(next.Program()));
    EXPECT_TRUE(PathExists(next.Path(L"Tervix.exe")));
    EXPECT_EQ(ProductKeysLeft(), 0);
    EXPECT_TRUE(BatchFolders().empty()) << "batch still there";
}

// Runs started while the question waits change nothing: an unattended one ends at once
// with 1618, an interactive one brings the question to the front, and one of another
// install, which has no window of its own program to show, says why it stops.
TEST(UninstallSample, DeclinedConfirmationExitsOneAndRunsStartedMeanwhileChangeNothing) {
    SampleInstall install(kInstall), otherInstall(L"C:\\Program Files\\Tervix 2");
    LayOutSample(install);
    WriteProductKeys();

    Process uninstall, silentSetup, otherSetup, userSetup;
    ASSERT_TRUE(install.Start(&uninstall));
    HWND question = WaitForSecondDialog(uninstall.id(), 20000);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(install.Start(&silentSetup, L"/setup -s") && otherInstall.Start(&otherSetup, L"/setup"));
    HWND notice = WaitForSecondDialog(otherSetup.id(), 30000);
    ASSERT_NE(notice, nullptr);
    ASSERT_FALSE(ProgramText(IDS_RUNINPROGRESS).empty());
    EXPECT_EQ(MessageBoxText(notice), ProgramText(IDS_RUNINPROGRESS));
    ASSERT_EQ(GetForegroundWindow(), notice);
    ASSERT_TRUE(install.Start(&userSetup, L"/setup"));
    DWORD codes[3] = {};
    EXPECT_TRUE(silentSetup.Wait(30000, &codes[0]) && userSetup.Wait(30000, &codes[1]));
    EXPECT_EQ(GetForegroundWindow(), question);
    ASSERT_TRUE(PressButton(notice, IDOK));
    EXPECT_TRUE(otherSetup.Wait(20000, &codes[2]));
    for (DWORD code : codes) EXPECT_EQ(code, 1618u);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup")) << "a second setup stored its choices";
    ASSERT_TRUE(PressButton(question, IDNO));
    DWORD exitCode = 0;
    ASSERT_TRUE(uninstall.Wait(20000, &exitCode));
    EXPECT_EQ(exitCode, 1u) << "a declined uninstall counts as done";

    for (const wchar_t* kept : {L"Tervix.exe", L"tvxext.dll", L"Formats\\Deep\\rev.fmt", L"Uninstall.lst",
                                L"Uninstall.exe", L"tervix.gid", L"tervix.fts"})
        EXPECT_TRUE(PathExists(install.Path(kept))) << kept;
    EXPECT_EQ(ProductKeysLeft(), 7);
    EXPECT_TRUE(BatchFolders().empty());
    DeleteProductKeys();
}

void ExpectNothingChanged(const SampleInstall& install) {
    EXPECT_TRUE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_TRUE(PathExists(install.Program()));
    EXPECT_EQ(ProductKeysLeft(), 7);
    EXPECT_TRUE(BatchFolders().empty());
    DeleteProductKeys();
}

TEST(UninstallSample, MissingListIsNamedAndTheRunFailsWith1603) {
    SampleInstall install(kInstall);
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    WriteProductKeys();

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall));
    HWND question = WaitForSecondDialog(uninstall.id(), 20000);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(PressButton(question, IDYES));
    HWND error = WaitForSecondDialog(uninstall.id(), 20000, question);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(MessageBoxText(error).find(L"Uninstall.lst"), std::wstring::npos) << Narrow(MessageBoxText(error));
    EXPECT_EQ(WindowText(error), ProgramText(IDS_UNINSTALLTVX));
    ASSERT_TRUE(PressButton(error, IDOK));
    DWORD exitCode = 0;
    ASSERT_TRUE(uninstall.Wait(20000, &exitCode));
    EXPECT_EQ(exitCode, 1603u);
    ExpectNothingChanged(install);
}

// An unattended run has nobody to click: it ends by itself, says why in its log and
// in its exit code.
TEST(UninstallSample, SilentRunWithoutListEndsAloneWith1603AndALogLineNamingTheList) {
    SampleInstall install(kInstall);
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    WriteProductKeys();
    TempFolder logs(L"tvx logs");

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall, L"-s \"/log=" + (logs / L"run.log") + L"\""));
    const QuietEnd end = WaitForQuietEnd(uninstall, 30000, MessageBoxes);
    ASSERT_EQ(end.shown, nullptr) << Narrow(MessageBoxText(end.shown));
    ASSERT_TRUE(end.ended) << "the silent run waits for somebody";
    EXPECT_EQ(end.exitCode, 1603u);
    bool named = false;
    for (const std::wstring& line : ReadUtf8Lines(logs / L"run.log"))
        named |= line.find(L"FAILED open the file list " + install.Path(L"Uninstall.lst")) != std::wstring::npos;
    EXPECT_TRUE(named);
    ExpectNothingChanged(install);
}

// A task kill in the middle of a silent uninstall leaves the entry, whose quiet command
// finishes the job even when started twice at once: one run does it, the other ends
// with 1618. Nothing of the product is left, and the other program's type is back.
TEST(UninstallSample, UninstallEndedPartWayIsFinishedByTheQuietUninstallString) {
    SampleInstall install(kInstall);
    // Thousands of files, removed in the list's order, so that the removal can be cut short.
    ASSERT_TRUE(install.MakeFolder(L"data"));
    std::string list = "data\r\nUninstall.exe\r\nUninstall.lst\r\n";
    for (int i = 10000; i < 12000; ++i) {
        ASSERT_TRUE(install.MakeFile(L"data\\" + std::to_wstring(i)));
        list += "data\\" + std::to_string(i) + "\r\n";
    }
    ASSERT_TRUE(install.WriteList(list));
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, L"OtherZip.Archive\\shell\\open\\command", L"", L"other.exe \"%1\""));
    ASSERT_EQ(RunAndWait(L"\"" + install.Program() + L"\" /setup -s -initA11S0", 60000, install.Folder()), 0);
    const wchar_t entry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";
    std::wstring quiet, zipOwner;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString", &quiet));

    Process uninstall, first, second;
    ASSERT_TRUE(uninstall.Start(quiet));
    // Cut short as soon as the removal has begun.
    WaitUntil([&] { return !PathExists(install.Path(L"data\\10000")) || uninstall.Wait(0); }, 120000, 1);
    uninstall.Kill();
    ASSERT_TRUE(uninstall.Wait(20000));
    ASSERT_TRUE(PathExists(install.Path(L"data\\11999"))) << "the run ended before the kill";

    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString", &quiet)) << "the entry went early";
    ASSERT_TRUE(first.Start(quiet) && second.Start(quiet));
    DWORD codes[2] = {};
    ASSERT_TRUE(first.Wait(120000, &codes[0]) && second.Wait(120000, &codes[1]));
    EXPECT_EQ(std::min(codes[0], codes[1]), 0u);
    EXPECT_EQ(std::max(codes[0], codes[1]), 1618u);
    ExpectProductGone(install);
    EXPECT_TRUE(RegReadString(HKEY_CLASSES_ROOT, L".zip", L"", &zipOwner) && zipOwner == L"OtherZip.Archive");
}

}  // namespace
}  // namespace uninstalltest
