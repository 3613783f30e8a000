// Owners of Win32 resources: each gives its resource back when it goes out
// of scope, so that no way out of a function, an early return or an
// exception, can leak one. Move-only; Release() hands the resource on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>

// A kernel object's handle: a file, a mapping, a process, a thread, a
// snapshot. Null and INVALID_HANDLE_VALUE both mean none.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle_, nullptr); }
    void Reset(HANDLE handle = nullptr) {
        if (*this) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// The process and thread handles CreateProcess hands back.
struct ScopedProcess {
    explicit ScopedProcess(const PROCESS_INFORMATION& info) : process(info.hProcess), thread(info.hThread) {}
    ScopedHandle process, thread;
};

// A resource one call gives back: a GDI object this code made (a font, a
// brush, a bitmap), a menu, a memory device context, an icon, a library.
template <typename T, auto Free>
class ScopedResource {
public:
    ScopedResource() = default;
    explicit ScopedResource(T resource) : resource_(resource) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(ScopedResource&& other) noexcept : resource_(std::exchange(other.resource_, nullptr)) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.resource_, nullptr));
        return *this;
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    T get() const { return resource_; }
    explicit operator bool() const { return resource_ != nullptr; }
    void Reset(T resource = nullptr) {
        if (resource_) Free(resource_);
        resource_ = resource;
    }

private:
    T resource_ = nullptr;
};

template <typename T>
using ScopedGdiObject = ScopedResource<T, DeleteObject>;
using ScopedMenu = ScopedResource<HMENU, DestroyMenu>;
using ScopedMemoryDC = ScopedResource<HDC, DeleteDC>;
using ScopedIcon = ScopedResource<HICON, DestroyIcon>;
using ScopedLibrary = ScopedResource<HMODULE, FreeLibrary>;

// Selects an object into a device context and, when it goes, the object it
// replaced back, so that the object can be deleted afterwards.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), replaced_(SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (replaced_) SelectObject(dc_, replaced_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ replaced_;
};

// A window's device context (the screen's for a null window) from GetDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A view of a named mapping backed by the paging file, with the mapping's
// handle: unmapped and closed when it goes. A view is kept only when its
// first size bytes are mapped and committed: a program that makes a mapping
// first decides its size, and with SEC_RESERVE can leave its pages
// uncommitted, so reading them would fault.
class MappedView {
public:
    MappedView() = default;
    ~MappedView() { Reset(); }
    MappedView(MappedView&& other) noexcept
        : mapping_(std::move(other.mapping_)), view_(std::exchange(other.view_, nullptr)) {}
    MappedView& operator=(MappedView&& other) noexcept {
        if (this != &other) {
            Reset();
            mapping_ = std::move(other.mapping_);
            view_ = std::exchange(other.view_, nullptr);
        }
        return *this;
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Opens an existing mapping for reading and writing; empty when there is
    // none or it does not hold size committed bytes.
    static MappedView Open(const char* name, size_t size) {
        return Mapped(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name), size);
    }
    // Creates the mapping of size bytes, or opens the one of that name;
    // *existed tells which. Empty on failure, as Open.
    static MappedView Create(const char* name, size_t size, bool* existed) {
        HANDLE mapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), name);
        *existed = mapping && GetLastError() == ERROR_ALREADY_EXISTS;
        return Mapped(mapping, size);
    }

    void* get() const { return view_; }
    HANDLE mapping() const { return mapping_.get(); }
    explicit operator bool() const { return view_ != nullptr; }
    void Reset() {
        if (view_) UnmapViewOfFile(view_);
        view_ = nullptr;
        mapping_.Reset();
    }

private:
    static MappedView Mapped(HANDLE mapping, size_t size) {
        MappedView result;
        result.mapping_.Reset(mapping);
        if (!result.mapping_) return result;
        result.view_ = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
        MEMORY_BASIC_INFORMATION info;
        bool holds = result.view_ && VirtualQuery(result.view_, &info, sizeof info) == sizeof info &&
                     info.State == MEM_COMMIT && info.RegionSize >= size;
        if (!holds) result.Reset();
        return result;
    }

    ScopedHandle mapping_;
    void* view_ = nullptr;
};
