// The English reference language file that translators start from: it must hold every
// key the program asks for, nothing the program does not know, and the program's own
// English texts, so that a translation made from it misses nothing.

#include "lang/Language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "GuiDriver.h"
#include "LangTestFiles.h"
#include "TestSupport.h"
#include "platform/Owner.h"

namespace tvx {
namespace {

constexpr char kFixHint[] = " (update uninstall/lang/English.lng)";

std::wstring ReferencePath() { return tvxtest::SourceDir() + L"\\uninstall\\lang\\English.lng"; }

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

TEST(ReferenceLanguageFile, HoldsEveryKnownKeyAndNoUnknownOne) {
    tvxtest::LanguageReset reset;
    ParseLanguageFile(ReferencePath().c_str());
    ASSERT_GT(LanguageEntryCount(), 0u) << "cannot read " << std::string(ReferencePath().begin(), ReferencePath().end());
    EXPECT_FALSE(IsRightToLeft());

    std::set<std::string> known;
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        known.insert(KnownKeyTable[i].name);
        wchar_t value[1024];
        EXPECT_TRUE(LookupKeyValue(KnownKeyTable[i].name, value, 1024)) << KnownKeyTable[i].name << " is missing"
                                                                          << kFixHint;
    }
    std::set<std::string> seen;
    for (size_t i = 0; i < LanguageEntryCount(); ++i) {
        std::string name = LanguageEntryName(i);
        EXPECT_TRUE(known.count(name)) << name << " is not a key the program knows" << kFixHint;
        EXPECT_TRUE(seen.insert(name).second) << name << " is given twice" << kFixHint;
    }

    // English is the layout the templates were drawn for.
    for (const wchar_t* dialog : {L"SETUPDLG", L"DONEDLG", L"SETUPCONTEXTITEMS"}) {
        std::string name(1, '$');
        name.append(dialog, dialog + wcslen(dialog)).append(":SIZE");
        EXPECT_EQ(tvxtest::Value(name.c_str()), L"100*100") << name;
    }
}

TEST(ReferenceLanguageFile, StringsMatchTheProgramsStringTable) {
    tvxtest::LanguageReset reset;
    ParseLanguageFile(ReferencePath().c_str());
    UniqueModule program(LoadLibraryExW(tvxtest::UninstallExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program);
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        const KnownKey& row = KnownKeyTable[i];
        if (std::string(row.name).rfind("s:", 0) != 0) continue;
        wchar_t resource[1024] = {};
        LoadStringW(program.get(), row.id, resource, 1024);
        EXPECT_EQ(tvxtest::Value(row.name), std::wstring(resource)) << row.name << kFixHint;
    }
}

// Control texts and captions match the dialog templates that exist in the program; keys
// of controls a template does not have are still listed for translators.
TEST(ReferenceLanguageFile, DialogTextsMatchTheProgramsTemplates) {
    tvxtest::LanguageReset reset;
    ParseLanguageFile(ReferencePath().c_str());
    UniqueModule program(LoadLibraryExW(tvxtest::UninstallExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program);
    UniqueModule richEdit(LoadLibraryW(L"riched20.dll"));

    for (const char* dialogName : {"SETUPDLG", "DONEDLG", "SETUPCONTEXTITEMS"}) {
        std::wstring wideName = Widen(dialogName);
        HRSRC found = FindResourceW(program.get(), wideName.c_str(), MAKEINTRESOURCEW(5));
        if (found == nullptr) continue;  // not drawn yet
        auto* resource = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(program.get(), found)));
        ASSERT_NE(resource, nullptr) << dialogName;
        HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), resource, nullptr, QuietDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << dialogName << " cannot be created, error " << GetLastError();

        std::string prefix(1, '$');
        prefix.append(dialogName).append(":");
        EXPECT_EQ(tvxtest::Value((prefix + "CAPTION").c_str()), tvxtest::WindowText(dialog))
            << prefix << "CAPTION" << kFixHint;
        for (size_t i = 0; i < KnownKeyCount; ++i) {
            const KnownKey& row = KnownKeyTable[i];
            if (row.id == 0 || std::string(row.name).rfind(prefix, 0) != 0) continue;
            if (GetDlgItem(dialog, static_cast<int>(row.id)) == nullptr) continue;
            EXPECT_EQ(tvxtest::Value(row.name), tvxtest::ControlText(dialog, static_cast<int>(row.id)))
                << row.name << kFixHint;
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
}  // namespace tvx
