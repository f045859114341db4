// Reading an observation table from CSV.
#include "observation_csv.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace test_support {

QuoteTable ReadObservationCsv(const std::string& path, double spot) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::string line;
    std::getline(in, line);  // header
    QuoteTable table;
    table.spot = spot;
    int lineNumber = 1;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty()) continue;
        std::istringstream fields(line);
        std::string cell;
        std::vector<double> row;
        while (std::getline(fields, cell, ',')) row.push_back(std::stod(cell));
        if (row.size() != 6) {
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) +
                                     ": expected 6 columns");
        }
        table.strike.push_back(row[0]);
        table.maturity.push_back(row[1]);
        table.type.push_back(row[2]);
        table.observed.push_back(row[3]);
        table.rate.push_back(row[4]);
        table.weight.push_back(row[5]);
    }
    return table;
}

}  // namespace test_support
