// XlfOperImpl: the operations on one Excel value, behind XlfOper, for one record form.
//
// Two implementations exist: XlfOperImpl4 over XLOPER and XlfOperImpl12 over XLOPER12. They
// hold no data. Constructing one makes it the current implementation, through which every
// XlfOper works; XlfExcel creates each at most once and selects the one matching Excel's
// version whenever it loads.
//
// The virtual operations are declared in slot order (0 to 44); each takes the XlfOper it
// works on first. Reads return the host return code: 0 success, 8 invalid record (also for a
// null record), 32 failed, or what the host returned. Writers do nothing on a null record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CellMatrix.h"
#include "VectorOrder.h"
#include "XlRecords.h"
#include "XlfRangeRef.h"

namespace xlf {

class XlfOper;

class XlfOperImpl {
  public:
    XlfOperImpl(const XlfOperImpl&) = delete;
    XlfOperImpl& operator=(const XlfOperImpl&) = delete;

    // The implementation every XlfOper uses; null before XlfExcel first loads.
    static const XlfOperImpl* Current() { return current_; }

    virtual void Release(XlfOper& oper) const = 0;         // 0
    virtual void FreeHostMemory(XlfOper& oper) const = 0;  // 1
    virtual void Share(XlfOper& oper, const XlfOper& other) const = 0;
    virtual XlfOper ElementAt(const XlfOper& oper, int row, int column) const = 0;
    virtual XLOPER* Xloper4Pointer(const XlfOper& oper) const = 0;
    virtual XLOPER12* Xloper12Pointer(const XlfOper& oper) const = 0;  // 5
    virtual void* HostPointer(const XlfOper& oper) const = 0;
    virtual bool IsMissingValue(const XlfOper& oper) const = 0;
    virtual bool IsErrorValue(const XlfOper& oper) const = 0;
    virtual bool IsRefValue(const XlfOper& oper) const = 0;
    virtual bool IsSRefValue(const XlfOper& oper) const = 0;  // 10
    virtual bool IsArrayValue(const XlfOper& oper) const = 0;
    virtual bool IsNumberValue(const XlfOper& oper) const = 0;
    virtual bool IsStringValue(const XlfOper& oper) const = 0;
    virtual bool IsNilValue(const XlfOper& oper) const = 0;
    virtual bool IsBoolValue(const XlfOper& oper) const = 0;  // 15
    virtual bool IsIntValue(const XlfOper& oper) const = 0;
    virtual int RowCount(const XlfOper& oper) const = 0;
    virtual int ColumnCount(const XlfOper& oper) const = 0;
    virtual void* RawPointer(const XlfOper& oper) const = 0;
    virtual void WriteArrayShape(XlfOper& oper, int rows, int columns) const = 0;  // 20
    virtual void WriteIntOrError(XlfOper& oper, short value, bool isError) const = 0;
    virtual void WriteRangeRef(XlfOper& oper, const XlfRangeRef& range) const = 0;
    virtual void WriteCellMatrix(XlfOper& oper, const CellMatrix& matrix) const = 0;
    virtual void WriteWideString(XlfOper& oper, const std::wstring& text) const = 0;
    virtual void WriteCString(XlfOper& oper, const char* text) const = 0;  // 25
    virtual void WriteBool(XlfOper& oper, bool value) const = 0;
    virtual void WriteShort(XlfOper& oper, short value) const = 0;
    virtual void WriteDouble(XlfOper& oper, double value) const = 0;
    virtual void WritePointer(XlfOper& oper, void* record) const = 0;
    virtual void WriteElement(XlfOper& oper, int row, int column,
                              const XlfOper& value) const = 0;  // 30
    virtual void WriteError(XlfOper& oper, std::uint16_t code) const = 0;
    virtual int CoerceTo(const XlfOper& oper, int typeMask, XlfOper& result) const = 0;
    virtual int AllocateRecord(XlfOper& oper) const = 0;
    virtual int ReadDoubleVector(const XlfOper& oper, std::vector<double>& vector,
                                 VectorOrder order) const = 0;
    virtual int ReadDouble(const XlfOper& oper, double& value) const = 0;  // 35
    virtual int ReadShort(const XlfOper& oper, short& value) const = 0;
    virtual int ReadBool(const XlfOper& oper, bool& value) const = 0;
    virtual int ReadCString(const XlfOper& oper, char*& text) const = 0;
    virtual int ReadWideString(const XlfOper& oper, std::wstring& text) const = 0;
    virtual int ReadCellMatrix(const XlfOper& oper, CellMatrix& matrix) const = 0;  // 40
    virtual int ReadMatrix(const XlfOper& oper, RealMatrix& matrix) const = 0;
    virtual int ReadRangeRef(const XlfOper& oper, XlfRangeRef& range) const = 0;
    virtual int ReadErrorCode(const XlfOper& oper, std::uint16_t& code) const = 0;
    virtual int TypeCode(const XlfOper& oper) const = 0;  // 44

  protected:
    // Makes the new implementation the current one.
    XlfOperImpl();
    // Never called in practice: the implementations live until the process ends.
    virtual ~XlfOperImpl();

    static void* RecordOf(const XlfOper& oper);
    static void SetRecord(XlfOper& oper, void* record);

  private:
    friend class XlfExcel;
    static void MakeCurrent(const XlfOperImpl& impl) { current_ = &impl; }

    static const XlfOperImpl* current_;
};

}  // namespace xlf
