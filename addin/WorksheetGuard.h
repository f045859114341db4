// WorksheetGuard: the one frame every worksheet function of the add-in runs in.
//
// It reclaims the temporary memory of the previous worksheet call, answers TRUE while the
// function wizard is open (so nothing is converted or computed while the user types), and
// turns every exception into a cell value, so that nothing unwinds into Excel:
//   XlfException (and subclasses)  -> null result
//   std::exception                 -> its what() text
//   std::string, const char*       -> the text
//   CellMatrix                     -> the matrix as an array
//   anything else                  -> #VALUE!
// Building that value needs temporary memory too, which may be what just ran out: when the
// value cannot be built, the result is a #VALUE! record in static storage instead. No path
// lets an exception leave the frame.
// A worksheet function is then only its argument conversions and its library call, written
// as a lambda that returns the result XlfOper.
//
// Where results live is the guard's one policy, its Storage argument:
//   TemporaryPoolResult (the default): in the layer's temporary memory, reclaimed at the start
//     of the next worksheet call; for functions Excel calls on one thread only.
//   ThreadResult (ThreadResult.h): in storage of the calling thread, for the functions
//     registered as thread-safe; the body returns a CellMatrix and nothing touches the pool.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "CellMatrix.h"
#include "ResultRecord.h"
#include "XlfExcel.h"
#include "XlfException.h"
#include "XlfOper.h"
#include "XllExport.h"

namespace addin {

// The value's record address; the local handle is released when it goes out of scope,
// while the record itself stays in temporary memory until the next worksheet call.
inline LPXLFOPER Result(const xlf::XlfOper& value) {
    return value.HostPointer();
}

// Results in the layer's temporary memory.
struct TemporaryPoolResult {
    static void ReclaimPrevious() { xlf::XlfExcel::Current().ReleaseTemporary(false); }
    static LPXLFOPER Of(const xlf::XlfOper& value) { return Result(value); }
    static LPXLFOPER Of(const xlf::CellMatrix& matrix) { return Result(xlf::XlfOper(matrix)); }
    static LPXLFOPER Text(const std::string& text) { return Result(xlf::XlfOper(text)); }
    static LPXLFOPER Text(const char* text) { return Result(xlf::XlfOper(text)); }
    static LPXLFOPER Boolean(bool value) { return Result(xlf::XlfOper(value)); }
    static LPXLFOPER Error(std::uint16_t code) { return Result(xlf::XlfOper::MakeError(code)); }
};

// #VALUE! in the record form of the current mode, built without allocating: the result when
// not even the error value can be built (ResultRecord.h).
using xlf::StaticErrorResult;

// The cell value of the exception being handled (see the table above), built in the given
// storage. Called only from a handler; never throws.
template <typename Storage>
LPXLFOPER ResultOfCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (xlf::XlfException&) {
            return nullptr;
        } catch (std::exception& error) {
            return Storage::Text(error.what());
        } catch (std::string& text) {
            return Storage::Text(text);
        } catch (const char* text) {
            return Storage::Text(text);
        } catch (const xlf::CellMatrix& matrix) {
            return Storage::Of(matrix);
        } catch (...) {
            return Storage::Error(xlerrValue);
        }
    } catch (...) {
        return StaticErrorResult();
    }
}

// Whether the worksheet call running on this thread runs on a compute cluster, as Excel said
// at its start (GuardedClusterSafeCall); false outside such a call.
inline bool& RunningOnClusterNow() noexcept {
    static thread_local bool onCluster = false;
    return onCluster;
}

template <typename Storage = TemporaryPoolResult, typename Body>
LPXLFOPER GuardedWorksheetCall(Body body) noexcept;

// The frame of a function registered cluster-safe: the guard above, but Excel is first asked,
// once, whether the call runs on a compute cluster (xlRunningOnCluster). On a cluster nothing
// else calls back: no function-wizard check (there is no wizard there) and no Esc polling
// (EscapeRequest.h reads the answer); elsewhere the call is exactly the guarded one.
template <typename Storage = TemporaryPoolResult, typename Body>
LPXLFOPER GuardedClusterSafeCall(Body body) noexcept {
    bool onCluster = false;
    try {
        onCluster = xlf::XlfExcel::Current().RunningOnCluster();
    } catch (...) {
        onCluster = false;
    }
    if (!onCluster) {
        return GuardedWorksheetCall<Storage>([&] {
            RunningOnClusterNow() = false;
            return body();
        });
    }
    struct ClusterScope {
        ClusterScope() { RunningOnClusterNow() = true; }
        ~ClusterScope() { RunningOnClusterNow() = false; }
    } scope;
    try {
        Storage::ReclaimPrevious();
    } catch (...) {
        return nullptr;
    }
    try {
        return Storage::Of(body());
    } catch (...) {
        return ResultOfCurrentException<Storage>();
    }
}

template <typename Storage, typename Body>
LPXLFOPER GuardedWorksheetCall(Body body) noexcept {
    // Reclaiming the previous call's memory happens before the handlers exist: a value built
    // by a handler would need the very link to Excel that just failed. A failure here still
    // must not unwind into Excel, so it becomes a null result.
    try {
        Storage::ReclaimPrevious();
    } catch (...) {
        return nullptr;
    }
    try {
        if (xlf::XlfExcel::Current().InFunctionWizard()) return Storage::Boolean(true);
        return Storage::Of(body());
    } catch (...) {
        return ResultOfCurrentException<Storage>();
    }
}

}  // namespace addin
