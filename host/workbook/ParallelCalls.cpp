#include "ParallelCalls.h"

#include <pthread.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "SheetPrinter.h"

namespace runner {

namespace {

bool SameValue(const SheetValue& a, const SheetValue& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case SheetValue::Number:
            return std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
        case SheetValue::Text:
            return a.text == b.text;
        case SheetValue::Bool:
            return a.boolean == b.boolean;
        case SheetValue::Error:
            return a.error == b.error;
        default:
            return true;
    }
}

std::string ResultText(const CallResult& result) {
    std::string text = std::to_string(result.rows) + " x " + std::to_string(result.columns) + ":";
    for (const SheetValue& value : result.values) text += " " + DisplayText(value, 17);
    return text;
}

bool IsThreadSafe(const std::vector<RegisteredFunction>& functions, const std::string& name) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const RegisteredFunction& function : functions) {
        if (lower(function.worksheetName) == lower(name))
            return function.typeText.find('$') != std::string::npos;
    }
    return false;
}

// What one worker thread does and what it found.
struct Worker {
    const Evaluator* evaluator = nullptr;
    const std::vector<const ThreadedCall*>* calls = nullptr;
    const Sheet* sheet = nullptr;
    const std::atomic<bool>* start = nullptr;
    std::size_t first = 0;
    int rounds = 0;
    std::size_t made = 0;
    std::size_t differing = 0;
    std::string firstDifference;
};

void Compare(const ThreadedCall& call, const CallResult& got, std::size_t& differing,
             std::string& firstDifference) {
    if (SameResult(got, call.expected)) return;
    if (differing++ == 0) {
        firstDifference =
            call.cell + ": " + ResultText(got) + " instead of " + ResultText(call.expected);
    }
}

void* RunWorker(void* argument) {
    Worker& worker = *static_cast<Worker*>(argument);
    while (!worker.start->load(std::memory_order_acquire)) std::this_thread::yield();
    const std::size_t count = worker.calls->size();
    for (int round = 0; round < worker.rounds; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            const ThreadedCall& call = *(*worker.calls)[(worker.first + k) % count];
            const CallResult got =
                worker.evaluator->Call(call.formula.name, call.formula.arguments, *worker.sheet);
            ++worker.made;
            Compare(call, got, worker.differing, worker.firstDifference);
        }
    }
    return nullptr;
}

}  // namespace

bool SameResult(const CallResult& a, const CallResult& b) {
    if (a.rows != b.rows || a.columns != b.columns || a.values.size() != b.values.size())
        return false;
    for (std::size_t i = 0; i < a.values.size(); ++i)
        if (!SameValue(a.values[i], b.values[i])) return false;
    return true;
}

std::vector<ThreadedCall> ThreadedCalls(const Workbook& workbook, const Evaluator& evaluator,
                                        const std::vector<RegisteredFunction>& functions,
                                        const Sheet& sheet) {
    std::vector<ThreadedCall> calls;
    for (int r = 0; r < workbook.RowCount(); ++r) {
        for (int c = 0; c < static_cast<int>(workbook.rows[r].size()); ++c) {
            const InputCell& cell = workbook.rows[r][c];
            if (cell.kind != InputCell::Formula) continue;
            ThreadedCall call;
            call.cell = CellName({r, c});
            call.formula = cell.formula;
            call.threadSafe = IsThreadSafe(functions, cell.formula.name);
            call.expected = evaluator.Call(cell.formula.name, cell.formula.arguments, sheet);
            calls.push_back(call);
        }
    }
    return calls;
}

ParallelReport CallFromThreads(const Evaluator& evaluator, const std::vector<ThreadedCall>& calls,
                               const Sheet& sheet, int threads, int rounds) {
    std::vector<const ThreadedCall*> threadSafe, others;
    for (const ThreadedCall& call : calls) (call.threadSafe ? threadSafe : others).push_back(&call);

    ParallelReport report;
    std::atomic<bool> start{false};
    std::vector<Worker> workers(threadSafe.empty() ? 0 : static_cast<std::size_t>(threads));
    std::vector<pthread_t> handles;
    for (std::size_t t = 0; t < workers.size(); ++t) {
        Worker& worker = workers[t];
        worker.evaluator = &evaluator;
        worker.calls = &threadSafe;
        worker.sheet = &sheet;
        worker.start = &start;
        worker.first = t * threadSafe.size() / workers.size();
        worker.rounds = rounds;
        pthread_t handle;
        if (pthread_create(&handle, nullptr, RunWorker, &worker) != 0) {
            start.store(true, std::memory_order_release);
            for (pthread_t started : handles) pthread_join(started, nullptr);
            throw std::runtime_error("cannot start a thread");
        }
        handles.push_back(handle);
    }
    start.store(true, std::memory_order_release);
    // The calling thread is Excel's main thread: the other functions, one after another.
    for (int round = 0; round < rounds && !handles.empty(); ++round) {
        for (const ThreadedCall* call : others) {
            evaluator.Call(call->formula.name, call->formula.arguments, sheet);
            ++report.otherCalls;
        }
    }
    for (pthread_t handle : handles) pthread_join(handle, nullptr);
    for (const Worker& worker : workers) {
        report.threadSafeCalls += worker.made;
        if (worker.differing > 0 && report.differing == 0)
            report.firstDifference = worker.firstDifference;
        report.differing += worker.differing;
    }
    return report;
}

}  // namespace runner
