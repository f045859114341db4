// ExcelHost.h - the substitute Excel host: answers the add-in's requests as Excel would, and
// lets tests and the workbook program set up and inspect what the host knows.
//
// Requests arrive through the exported entry points Excel4, Excel4v (XLOPER) and
// MdCallBack12 (XLOPER12); see HostEntryPoints.cpp. Answered: xlFree, xlCoerce, xlAbort,
// xlGetHwnd, xlGetName, xlcMessage, xlfGetWorkspace (2: the version), xlfRegister,
// xlfUnregister, xlRunningOnCluster (FALSE unless set); anything else gives xlretInvXlfn.
// Every request's function number is recorded (Requests), so a test can see which callbacks
// a function made.
//
// Memory: every string, array or reference the host returns lies in one block it allocated
// and counts; xlFree of such a value gives the block back. A value whose block is unknown
// (already freed, or never the host's) is counted as an invalid free and otherwise ignored.
//
// Requests may arrive from several threads at once, as Excel's multi-threaded recalculation
// runs thread-safe functions on worker threads and they call back (xlCoerce, xlFree,
// xlGetHwnd, ...): each request is answered under one lock. Setting up and inspecting the host
// (the other members) is for one thread while no request is in flight.
//
// Coercion follows Excel: a one-cell reference gives the cell's value, a larger one an array
// (empty cells as nil); an empty cell is 0 as a number, "" as a text, FALSE as a boolean;
// numbers print with up to 15 significant digits; texts convert to numbers when the whole
// text is a number and to booleans when it is TRUE or FALSE in any case; numbers convert to
// integers by rounding to nearest, failing outside the record's integer range; an error value
// converts to nothing but an error. Conversions that are impossible give xlretFailed.
#ifndef EXCELHOST_H
#define EXCELHOST_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "HostValue.h"
#include "RequestLock.h"
#include "XlRecords.h"

namespace xlhost {

// One xlfRegister request: its arguments in order, as they arrived.
struct Registration {
    double id;
    std::vector<Value> arguments;
};

// One xlcMessage request: shown with a text, or the status bar reset.
struct StatusEvent {
    bool shown;
    std::string text;
};

class Host {
  public:
    static Host& Instance();

    // Back to the start state: version "12.0", empty sheet with id 1, main window 0x1234,
    // add-in path "", nothing recorded, no failures. Memory counts restart at zero; blocks
    // still outstanding stay allocated but are forgotten (freeing one later counts as invalid).
    void Reset();

    void SetVersion(const std::string& version);
    void SetMainWindow(std::uintptr_t handle);
    void SetAddinPath(const std::string& path);
    void SetAbortPending(bool pending);  // the user pressed Esc
    // What xlRunningOnCluster answers: the function runs on a compute cluster.
    void SetRunningOnCluster(bool onCluster);
    // The user presses Esc just before the n-th xlAbort request from now (n >= 1; 0: never).
    void SetAbortAfter(std::size_t requests);
    std::size_t AbortRequests() const;  // xlAbort requests since Reset
    // When xlAbort last answered TRUE (the clock's epoch when it never did).
    std::chrono::steady_clock::time_point AbortAnsweredAt() const;

    void SetSheetId(IDSHEET id);
    IDSHEET SheetId() const;
    // A cell of the sheet, zero-based. A cell holds a number, a text, a boolean, an error or
    // an integer; setting any other value (nil, missing, an array, a reference) empties it.
    void SetCell(int row, int col, const Value& value);
    Value GetCell(int row, int col) const;  // nil when empty
    void ClearCells();

    // The request with this function number fails with code, doing nothing else.
    void FailRequest(int function, int code);
    // Only the n-th request (n >= 1, counted from now) with this function number fails.
    void FailNthRequest(int function, std::size_t n, int code);
    // Every request through Excel4 and Excel4v fails with code (0: none does).
    void FailExcel4Requests(int code);
    void ClearFailures();

    std::vector<Registration> Registrations() const;
    std::vector<double> Unregistered() const;
    std::vector<StatusEvent> StatusEvents() const;
    std::vector<int> Requests() const;  // function numbers of every request, in order
    void ClearRecords();

    std::size_t AllocatedBlocks() const;    // handed out since Reset
    std::size_t FreedBlocks() const;        // given back through xlFree since Reset
    std::size_t OutstandingBlocks() const;  // handed out and not yet given back
    std::size_t InvalidFrees() const;       // xlFree of memory the host does not own

    // The entry points' work: read the records, answer, write the result.
    int Call4(int function, XLOPER* result, int count, XLOPER* values[]);
    int Call12(int function, XLOPER12* result, int count, XLOPER12* values[]);

    // Block accounting for the record writers.
    void* AllocateBlock(std::size_t bytes);
    bool FreeBlock(void* block);

  private:
    Host();
    template <class Oper>
    int Call(int function, Oper* result, int count, Oper* values[]);
    int Answer(int function, const std::vector<Value>& arguments, bool wide, Value* result);
    int Coerce(const std::vector<Value>& arguments, bool wide, Value* result) const;
    Value Dereference(const Value& value, int* code) const;

    std::string version_;
    std::uintptr_t mainWindow_;
    std::string addinPath_;
    bool abortPending_;
    bool runningOnCluster_;
    std::size_t abortCountdown_;
    std::size_t abortRequests_;
    std::chrono::steady_clock::time_point abortAnsweredAt_;
    IDSHEET sheetId_;
    std::map<std::pair<int, int>, Value> cells_;
    std::map<int, int> failures_;
    std::map<int, std::pair<std::size_t, int>> nthFailures_;  // countdown, code
    int excel4Failure_;
    std::vector<Registration> registrations_;
    std::vector<double> unregistered_;
    std::vector<StatusEvent> statusEvents_;
    std::vector<int> requests_;
    double nextRegisterId_;
    std::map<void*, std::size_t> blocks_;
    std::size_t allocated_;
    std::size_t freed_;
    std::size_t invalidFrees_;
    RequestLock requestLock_;  // held while a request is answered
};

}  // namespace xlhost

#endif  // EXCELHOST_H
