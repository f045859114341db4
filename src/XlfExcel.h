// XlfExcel: the add-in's one link to Excel.
//
// It loads Excel's callback library, settles once whether the add-in runs in Excel-12 mode
// (XLOPER12, wide strings; Excel reports version 12) or Excel-4 mode (XLOPER, 8-bit strings;
// any other version), selects the matching value implementation, passes every request to
// the host and owns the temporary memory in which every value handed to Excel lives.
//
// Warnings:
// - Temporary memory is a bump allocator reclaimed wholesale by ReleaseTemporary: a pointer
//   it returned stays valid only until the next release. Every request is rounded up to a
//   multiple of 8 bytes so that the records carved from it are aligned.
// - The pool is guarded by the system-wide named mutex "xlf_mutex", which serialises pool
//   work with every module of every process using that name.
// - A failed first load throws and leaves no object behind; the next Current() tries again.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "XlRecords.h"

namespace xlf {

class XlfExcel {
  public:
    // The object, created and loaded on first use. Throws std::runtime_error when the callback
    // library or one of its entry points is missing.
    static XlfExcel& Current();

    XlfExcel(const XlfExcel&) = delete;
    XlfExcel& operator=(const XlfExcel&) = delete;
    // Frees the temporary memory; the callback library stays loaded.
    ~XlfExcel();

    // Sends a request to the host with count argument records (XLOPER* or XLOPER12* as the
    // mode says, passed as record addresses such as XlfOper::HostPointer()). Returns the
    // host's code unchanged.
    int CallHost(int function, void* result, int count, ...);
    // The same with the arguments in an array, always through Excel4v.
    int CallHost4v(int function, XLOPER* result, int count, XLOPER* arguments[]);
    // The same with the arguments in an array, through Excel12v.
    int CallHost12v(int function, XLOPER12* result, int count, XLOPER12* arguments[]);

    bool IsExcel12() const { return excel12_; }
    // The version number Excel reported (12 for Excel 2007, 14 for Excel 2010, ...); 0 when
    // it could not be had.
    int Version() const { return version_; }

    // A pointer to bytes (rounded up to a multiple of 8) of temporary memory. Throws
    // std::bad_alloc when the memory cannot be had.
    void* AllocateTemporary(std::uint32_t bytes);
    // Frees every buffer when everything is true; otherwise keeps the newest (and largest)
    // buffer and serves the next requests from its start.
    void ReleaseTemporary(bool everything);
    // Fault injection for tests: after `successes` more requests have been served, the next
    // `failures` requests throw std::bad_alloc as exhausted memory would; (0, 0) ends it.
    void FailTemporaryRequests(int successes, int failures);

    // True while Excel's function wizard, a window of Excel's, is open.
    bool InFunctionWizard() const;
    // Shows text on Excel's status bar; null resets the status bar.
    void ShowStatus(const char* text);
    // Full path of the add-in file as Excel reports it; empty when Excel cannot tell.
    std::string LibraryPath();
    bool EscapePressed();
    // True when Excel says the function being computed runs on a compute cluster
    // (xlRunningOnCluster); false when it says not, or cannot say (before version 14).
    bool RunningOnCluster();
    // A message box; without a caption the text is completed with the thread's last system
    // error and shown under the caption "XLL Error".
    void ErrorBox(const char* text, const char* caption = nullptr);

    // Registration type letters for OPER, XLOPER and string arguments in the current mode.
    std::string OperTypeCode() const { return operTypeCode_; }
    std::string XloperTypeCode() const { return xloperTypeCode_; }
    std::string WideStringTypeCode() const { return wideStringTypeCode_; }

    // The pool's buffer sizes, newest first, and the bytes handed out from the newest.
    std::vector<std::uint32_t> TemporaryBufferSizes() const;
    std::uint32_t TemporaryOffset() const { return offset_; }

  private:
    struct TemporaryBuffer {
        std::uint32_t size;
        std::unique_ptr<unsigned char[]> start;
    };
    struct LibraryRecord;

    XlfExcel();
    void LoadCallbackLibrary();
    void DetectVersion();
    void AddTemporaryBuffer(std::uint32_t size);

    std::list<TemporaryBuffer> pool_;  // newest at the front
    std::uint32_t offset_ = 0;
    int requestsBeforeFailure_ = 0;
    int failingRequests_ = 0;
    std::unique_ptr<LibraryRecord> library_;
    bool excel12_ = false;
    int version_ = 0;
    std::string operTypeCode_;
    std::string xloperTypeCode_;
    std::string wideStringTypeCode_;

    static XlfExcel* current_;
};

}  // namespace xlf
