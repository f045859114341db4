// DaxQuotes: the observed option quotes the demonstration fits, read from a CSV file with the
// header strike,maturity_years,type,price,rate,weight (type 1 call, 2 put; maturity in years;
// rate continuously compounded).
#pragma once

#include <string>
#include <vector>

namespace demo {

struct Quote {
    double strike = 0.0;
    double maturity = 0.0;
    int type = 1;
    double price = 0.0;
    double rate = 0.0;
    double weight = 1.0;
};

// Throws std::runtime_error naming the file and line of a malformed row.
std::vector<Quote> ReadQuotes(const std::string& path);

}  // namespace demo
