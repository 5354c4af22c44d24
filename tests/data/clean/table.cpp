// SPDX-License-Identifier: MIT
// A lookup table with C++ literals of every kind.
#include <map>
#include <string>
#include <string_view>

namespace demo {

constexpr long kBig = 1'000'000;  // digit separators
constexpr unsigned kMask = 0xFF'FF'00'00u;
constexpr double kHalf = 0.5e-3;
constexpr char kSep = '/';
constexpr char32_t kWide = U'\u4e2d';
constexpr auto kPattern = R"(a\d+"b)";  // a raw string with a quote in it
constexpr auto kTagged = u8R"x(tag)x";

/* Maps names to values.
   Keys are compared exactly. */
class Table {
public:
    int value(std::string_view name) const {
        auto it = values_.find(std::string(name));
        return it == values_.end() ? 0 : it->second / 2;  // halved
    }
    template <typename T>
    T* pointer(T* p) const {
        return p;
    }

private:
    std::map<std::string, int> values_{{"a", 1}, {"b*", 2}, {"/", 3}};
};

int divide(int a, int* b) {
    return a / *b;
}
int product(int a, int b) {
    return a * /*times*/ b;
}

}  // namespace demo
