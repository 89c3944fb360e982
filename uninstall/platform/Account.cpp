#include "platform/Account.h"

#include <windows.h>
#include <sddl.h>

#include <memory>

#include "platform/Owner.h"

namespace tvx {
namespace {

constexpr wchar_t kLocalSystemSid[] = L"S-1-5-18";

bool treatedAsLocalSystem = false;

}  // namespace

std::wstring CurrentAccountSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
    UniqueHandle ownedToken(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<BYTE[]>(size);
    wchar_t* sid = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.get(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, &sid))
        return L"";
    UniqueLocalMem ownedSid(sid);
    return sid;
}

bool IsLocalSystemSid(const std::wstring& sid) { return sid == kLocalSystemSid; }

bool RunsAsLocalSystem() {
    static const bool localSystem = IsLocalSystemSid(CurrentAccountSid());
    return treatedAsLocalSystem || localSystem;
}

void TreatAsLocalSystem(bool yes) { treatedAsLocalSystem = yes; }

}  // namespace tvx
