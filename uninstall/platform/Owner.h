#pragma once
// One small owner for every kind of Windows handle and paired call: move-only,
// released by its destructor, so that early returns never leak. No bare RegCloseKey,
// CloseHandle, FindClose, FreeLibrary, ReleaseDC, CoUninitialize or Release() outside
// this file.

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>
#include <shtypes.h>

#include <cstdio>
#include <utility>

namespace tvx {

template <typename T, typename Traits>
class UniqueOwner {
public:
    UniqueOwner() = default;
    explicit UniqueOwner(T value) : value_(value) {}
    ~UniqueOwner() { reset(); }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : value_(other.release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return Traits::IsValid(value_); }
    // Releases the held value and returns the address for an API to fill.
    T* put() {
        reset();
        return &value_;
    }
    void reset(T value = Traits::Invalid()) {
        if (Traits::IsValid(value_)) Traits::Close(value_);
        value_ = value;
    }
    T release() { return std::exchange(value_, Traits::Invalid()); }

private:
    T value_ = Traits::Invalid();
};

struct HkeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
// Kernel handles that use null for "none" (processes, threads, events).
struct HandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
// File handles, which use INVALID_HANDLE_VALUE for "none".
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct GdiTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct CrtFileTraits {
    static FILE* Invalid() { return nullptr; }
    static bool IsValid(FILE* f) { return f != nullptr; }
    static void Close(FILE* f) { fclose(f); }
};
struct CoTaskMemTraits {
    static void* Invalid() { return nullptr; }
    static bool IsValid(void* p) { return p != nullptr; }
    static void Close(void* p) { CoTaskMemFree(p); }
};
// A shell item list, which the shell allocates with the task allocator.
struct PidlTraits {
    static LPITEMIDLIST Invalid() { return nullptr; }
    static bool IsValid(LPITEMIDLIST p) { return p != nullptr; }
    static void Close(LPITEMIDLIST p) { CoTaskMemFree(p); }
};

// Memory that the system hands out with LocalAlloc (string SIDs, security descriptors).
struct LocalMemTraits {
    static HLOCAL Invalid() { return nullptr; }
    static bool IsValid(HLOCAL p) { return p != nullptr; }
    static void Close(HLOCAL p) { LocalFree(p); }
};

struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static bool IsValid(BSTR s) { return s != nullptr; }
    static void Close(BSTR s) { SysFreeString(s); }
};

using UniqueHkey = UniqueOwner<HKEY, HkeyTraits>;
using UniqueHandle = UniqueOwner<HANDLE, HandleTraits>;
using UniqueFileHandle = UniqueOwner<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueOwner<HANDLE, FindHandleTraits>;
using UniqueModule = UniqueOwner<HMODULE, ModuleTraits>;
using UniqueGdiObject = UniqueOwner<HGDIOBJ, GdiTraits>;
using UniqueCrtFile = UniqueOwner<FILE*, CrtFileTraits>;
using UniqueCoTaskMem = UniqueOwner<void*, CoTaskMemTraits>;
using UniquePidl = UniqueOwner<LPITEMIDLIST, PidlTraits>;
using UniqueLocalMem = UniqueOwner<HLOCAL, LocalMemTraits>;
using UniqueBstr = UniqueOwner<BSTR, BstrTraits>;

// Closes a kernel handle and tells whether the system accepted it, for an owner that
// must report a failed close (the file object's handle can hold unwritten data).
inline bool CloseKernelHandle(HANDLE h) {
    return CloseHandle(h) != FALSE;
}

// Runs the function given when it goes out of scope: the second half of a pair of calls
// that no handle stands for (a font selected into a device context, a folder made
// current, a file planted for a while).
template <typename Undo>
class ScopeGuard {
public:
    explicit ScopeGuard(Undo undo) : undo_(std::move(undo)) {}
    ~ScopeGuard() {
        if (armed_) undo_();
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    // Keeps what was done: the function no longer runs.
    void Dismiss() { armed_ = false; }

private:
    Undo undo_;
    bool armed_ = true;
};

// The device context of a window (null: the screen), given back to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// COM on this thread while it lives (single-threaded apartment), or OLE, which adds
// drag and drop and the clipboard to it; given up again only when it was taken here.
class ComSession {
public:
    enum Kind { kCom, kOle };
    explicit ComSession(Kind kind = kCom)
        : kind_(kind),
          taken_(SUCCEEDED(kind == kOle ? OleInitialize(nullptr)
                                        : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComSession() {
        if (!taken_) return;
        if (kind_ == kOle) {
            OleUninitialize();
        } else {
            CoUninitialize();
        }
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    bool ok() const { return taken_; }

private:
    Kind kind_;
    bool taken_;
};

// A VARIANT that is cleared when it goes out of scope.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT* operator->() const { return &value_; }

private:
    VARIANT value_;
};

// COM interface pointer.
template <typename I>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    I* p_ = nullptr;
};

}  // namespace tvx
