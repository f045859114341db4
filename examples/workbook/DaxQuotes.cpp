#include "DaxQuotes.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace demo {

std::vector<Quote> ReadQuotes(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string line;
    std::getline(in, line);  // header
    std::vector<Quote> quotes;
    int lineNumber = 1;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::istringstream fields(line);
        std::string field;
        std::vector<double> row;
        bool numeric = true;
        while (std::getline(fields, field, ',')) {
            char* end = nullptr;
            row.push_back(std::strtod(field.c_str(), &end));
            numeric = numeric && !field.empty() && *end == '\0';
        }
        if (row.size() != 6 || !numeric || (row[2] != 1.0 && row[2] != 2.0)) {
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) +
                                     ": expected strike,maturity_years,type (1 or 2),price,"
                                     "rate,weight");
        }
        quotes.push_back({row[0], row[1], static_cast<int>(row[2]), row[3], row[4], row[5]});
    }
    return quotes;
}

}  // namespace demo
