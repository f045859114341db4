// DemoXlsx: the demonstration workbook as an .xlsx file, written with libxlsxwriter.
//
// Sheets: "Read me" (which add-in goes with which Excel, how to load it, what each block
// shows), "DAX" (the layout's cells: inputs as values, add-in calls as live formulas each
// carrying the value the add-in computed for it, array formulas over their whole range with
// every cell's value) and "Charts" (per maturity the observed implied vols and both fitted
// smiles against strike; the fits' residuals in implied vol).
//
// Opened without the add-in the workbook shows those values: the file asks for no
// recalculation on opening, and each array formula reads IF(HestonAddinLoaded, formula,
// {the values it gave}), where HestonAddinLoaded, a name of the workbook, is TRUE when the
// add-in answers. Spreadsheets that recalculate array formulas on opening (LibreOffice) then
// show the stored values, and with the add-in loaded every formula is live.
#pragma once

#include <string>

#include "CellValues.h"
#include "DemoLayout.h"

namespace demo {

// values holds the add-in's values and those of the sheet's own formulas. computedBy says
// which add-in build computed them (for the Read me sheet). Throws std::runtime_error when
// the file cannot be written.
void WriteDemoXlsx(const std::string& path, const DemoLayout& layout, const CellValues& values,
                   const std::string& computedBy);

}  // namespace demo
