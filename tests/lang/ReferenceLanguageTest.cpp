// The English reference language file that translators start from: it must hold every
// key the program asks for, nothing the program does not know, and the program's own
// English texts, so that a translation made from it misses nothing. And the key table
// itself: whatever a dialog or a message shows has a key to translate it.

#include "lang/Language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "GuiDriver.h"
#include "LangTestFiles.h"
#include "TestSupport.h"
#include "platform/Owner.h"

namespace tvx {
namespace {

constexpr char kFixHint[] = " (update uninstall/lang/English.lng)";

std::wstring ReferencePath() { return tvxtest::SourceDir() + L"\\uninstall\\lang\\English.lng"; }

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

using tvxtest::Narrow;
using tvxtest::Widen;

TEST(ReferenceLanguageFile, HoldsEveryKnownKeyAndNoUnknownOne) {
    tvxtest::LanguageReset reset;
    ParseLanguageFile(ReferencePath().c_str());
    ASSERT_GT(LanguageEntryCount(), 0u) << "cannot read " << Narrow(ReferencePath());
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

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(
        IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
    return TRUE;
}

// Every dialog template of the program and of the sample resource libraries: a visible
// control with a text has a key of its dialog, and so has the caption; every string of
// a string table has one too.
TEST(TranslatableTexts, EveryTextOfEveryTemplateAndStringTableHasAKey) {
    std::set<std::pair<std::string, uint32_t>> keys;  // kind prefix with its colon, id
    std::set<std::string> names;
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        std::string name = KnownKeyTable[i].name;
        keys.emplace(name.substr(0, name.find(':') + 1), KnownKeyTable[i].id);
        names.insert(name);
    }
    UniqueModule richEdit(LoadLibraryW(L"riched20.dll"));
    std::wstring libraries = tvxtest::BuildDir() + L"\\tests\\lang\\";
    for (const std::wstring& path :
         {tvxtest::UninstallExe(), libraries + L"TranslatedLibrary.dll", libraries + L"RtlLibrary.dll"}) {
        UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << Narrow(path);
        std::vector<std::wstring> templates, blocks;
        EnumResourceNamesW(module.get(), RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&templates));
        EnumResourceNamesW(module.get(), RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
        for (const std::wstring& name : templates) {
            auto* resource = static_cast<const DLGTEMPLATE*>(
                LockResource(LoadResource(module.get(), FindResourceW(module.get(), name.c_str(), RT_DIALOG))));
            HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), resource, nullptr, QuietDialogProc, 0);
            ASSERT_NE(dialog, nullptr) << Narrow(name) << " cannot be created, error " << GetLastError();
            std::string prefix(1, '$');
            prefix.append(Narrow(name)).append(":");
            if (!tvxtest::WindowText(dialog).empty()) {
                EXPECT_TRUE(names.count(prefix + "CAPTION")) << prefix;
            }
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0 || tvxtest::WindowText(child).empty()) continue;
                EXPECT_TRUE(keys.count({prefix, static_cast<uint32_t>(GetDlgCtrlID(child))}))
                    << Narrow(path) << " " << prefix << " control " << GetDlgCtrlID(child) << " has no key";
            }
            DestroyWindow(dialog);
        }
        // String block n holds the ids (n - 1) * 16 to n * 16 - 1.
        for (const std::wstring& block : blocks) {
            for (uint32_t id = (std::stoul(block.substr(1)) - 1) * 16, end = id + 16; id < end; ++id) {
                wchar_t text[1024];
                if (LoadStringW(module.get(), id, text, 1024) > 0) {
                    EXPECT_TRUE(keys.count({"s:", id})) << Narrow(path) << ": string " << id << " has no key";
                }
            }
        }
        if (path == tvxtest::UninstallExe()) {
            EXPECT_EQ(templates.size(), 3u);
        }
    }
}

}  // namespace
}  // namespace tvx
