#include "playdata/number_reader.h"

#include <cctype>
#include <climits>

bool ReadNumber(const char* text, int* value)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;

    // Accumulate toward the sign so that INT_MIN itself is reachable; hold at the bound
    // once a further digit would pass it.
    const int limit = negative ? INT_MIN : INT_MAX;
    int result = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        int digit = *p - '0';
        if (negative) {
            result = (result < (INT_MIN + digit) / 10) ? limit : result * 10 - digit;
        } else {
            result = (result > (INT_MAX - digit) / 10) ? limit : result * 10 + digit;
        }
    }
    *value = result;
    return true;
}
