#include "XlfOperImpl.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "Diagnostics.h"
#include "XlfException.h"
#include "XlfOper.h"
#include "XlfOperImplBase.h"

namespace xlf {

const XlfOperImpl* XlfOperImpl::current_ = nullptr;

XlfOperImpl::XlfOperImpl() {
    current_ = this;
}

XlfOperImpl::~XlfOperImpl() = default;

void* XlfOperImpl::RecordOf(const XlfOper& oper) {
    return oper.record_;
}

void XlfOperImpl::SetRecord(XlfOper& oper, void* record) {
    oper.record_ = record;
}

namespace detail {

void WriteDiagnostic(const char* file, int line, const char* text) {
    std::cerr << DiagnosticLocation(file, line) << text << std::endl;
}

void ThrowNotArray(int typeWord) {
    throw XlfException("attempt to perform an xltypeMulti operation on a value of type " +
                       std::to_string(typeWord));
}

void ThrowOutsideArray(int row, int column, int rows, int columns) {
    throw XlfException("element (" + std::to_string(row) + ", " + std::to_string(column) +
                       ") lies outside the " + std::to_string(rows) + " x " +
                       std::to_string(columns) + " array");
}

void ThrowTooLargeForExcel4(std::size_t rows, std::size_t columns) {
    throw std::length_error("Result of " + std::to_string(rows) + " rows and " +
                            std::to_string(columns) +
                            " columns is too large for Excel 4 (at most 65535 rows and 255 "
                            "columns)");
}

int CheckHostCode(int code, const std::string* context, const char* invalidCountMessage) {
    if (code == xlretSuccess) return code;
    // The first bit found in this order decides; the host may set several at once.
    if (code & xlretUncalced) throw XlfExceptionUncalculated();
    if (code & xlretAbort) throw XlfExceptionAbort();
    if (code & xlretStackOvfl) throw XlfExceptionStackOverflow();
    if (code & xlretInvXloper) {
        const std::string message = "invalid OPER structure (memory could be exhausted)";
        throw XlfException(context ? message + "," + *context : message);
    }
    if (code & xlretFailed)
        throw std::runtime_error(context ? "command failed, " + *context : "command failed");
    if (code & xlretInvCount)
        throw std::runtime_error(context ? "invalid number of argument, " + *context
                                         : invalidCountMessage);
    if (code & xlretInvXlfn)
        throw std::runtime_error(context ? "invalid function number, " + *context
                                         : "invalid function number");
    return code;
}

std::size_t NarrowInto(char* out, const wchar_t* text, std::size_t count, std::size_t limit) {
    const std::wstring source(text, count);
    std::size_t written = std::wcstombs(out, source.c_str(), limit);
    if (written != static_cast<std::size_t>(-1)) return written;
    written = count < limit ? count : limit;
    for (std::size_t i = 0; i < written; ++i) {
        const wchar_t c = source[i];
        out[i] = static_cast<char>(static_cast<std::uint32_t>(c) <= 0xFF ? c : L'?');
    }
    if (written < limit) out[written] = '\0';
    return written;
}

std::size_t WidenInto(wchar_t* out, const char* text, std::size_t count, std::size_t limit) {
    const std::string source(text, count);
    std::size_t written = std::mbstowcs(out, source.c_str(), limit);
    if (written != static_cast<std::size_t>(-1)) return written;
    written = count < limit ? count : limit;
    for (std::size_t i = 0; i < written; ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(source[i]));
    if (written < limit) out[written] = L'\0';
    return written;
}

}  // namespace detail
}  // namespace xlf
