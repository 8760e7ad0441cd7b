// The hive reader's wide scanner gives what its scalar twin gives, on
// generated lines that put every kind of byte the reader meets at every
// place of a 16- and a 64-byte block: a run's end at a block's last or first
// byte, an escape's backslash at a block's end, tabs, control characters,
// UTF-8, text cut short. Each text sits in a buffer of its exact size, so
// that a read past its end shows under the address sanitizer.
#include "scan.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>

using namespace winreg;

namespace {

// A copy of text in memory of its exact size.
class ExactBuffer {
public:
    explicit ExactBuffer(std::string_view text) : data_(new char[text.size()]), size_(text.size()) {
        text.copy(data_.get(), text.size());
    }
    const char *data() const { return data_.get(); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<char[]> data_;
    size_t size_;
};

// Bytes that end or continue what the scanner looks for.
constexpr std::string_view kSpecial[] = {
    "\\", "\\\\", "\"", "]", "[", "\t", "\n", "\r", "\x01", "\x1f", "\x7f", " ", ",", "=", "@",
    "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x80", "\xff", "0", "9", "a", "f", "A", "F", "g", "G", "/", ":", "`",
};

class Lines {
public:
    explicit Lines(uint64_t seed) : random_(seed) {}

    size_t below(size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(random_); }

    // A length that often lies at or next to a multiple of 16.
    size_t length(size_t most) {
        if (below(2) == 0)
            return below(most + 1);
        const size_t block = 16 * (1 + below(most / 16));
        return std::min(most, block - 1 + below(3));
    }

    // Printable ASCII but for what ends a run.
    std::string plain(size_t n) {
        std::string text;
        while (text.size() < n) {
            const char c = static_cast<char>(' ' + below(0x7f - ' '));
            if (c != '\\' && c != '"' && c != ']')
                text.push_back(c);
        }
        return text;
    }

    std::string special() { return std::string(kSpecial[below(std::size(kSpecial))]); }

    std::string hexByte() {
        static constexpr char kDigits[] = "0123456789abcdefABCDEF";
        return {kDigits[below(22)], kDigits[below(22)], ','};
    }

    // Plain text with special bytes here and there.
    std::string mixed(size_t most) {
        std::string text = plain(length(most));
        for (size_t k = below(4); k > 0; --k)
            text.insert(below(text.size() + 1), special());
        return text;
    }

    // Runs of "hh," with, now and then, one byte put wrong.
    std::string hexList(size_t most) {
        std::string text;
        for (size_t n = length(most / 3); n > 0; --n)
            text += hexByte();
        if (!text.empty() && below(2) == 0)
            text[below(text.size())] = special()[0];
        return text + mixed(8);
    }

private:
    std::mt19937_64 random_;
};

constexpr uint64_t kSeed = 20261207;
constexpr int kLines = 4000;

// Runs check at every start of every generated text, up to its end.
template <typename Make, typename Check> void everyStart(Make make, Check check) {
    Lines lines(kSeed);
    for (int i = 0; i < kLines; ++i) {
        const std::string text = make(lines);
        for (size_t start = 0; start <= text.size(); ++start) {
            const ExactBuffer rest(std::string_view(text).substr(start));
            check(rest, text, start);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace

TEST(Scan, PlainRunsEndWhereTheScalarRunEnds) {
    everyStart([](Lines &lines) { return lines.mixed(200); },
               [](const ExactBuffer &rest, const std::string &text, size_t start) {
                   for (const char close : {'"', ']'}) {
                       ASSERT_EQ(scan::wide::plainRun(rest.data(), rest.size(), close),
                                 scan::scalar::plainRun(rest.data(), rest.size(), close))
                           << "close " << close << " at " << start << " of '" << text << "'";
                   }
               });
}

TEST(Scan, HexDigitsEndWhereTheScalarDigitsEnd) {
    everyStart(
        [](Lines &lines) {
            std::string digits;
            for (size_t n = lines.length(40); n > 0; --n)
                digits += "0123456789abcdefABCDEF"[lines.below(22)];
            return digits + lines.mixed(20);
        },
        [](const ExactBuffer &rest, const std::string &text, size_t start) {
            ASSERT_EQ(scan::wide::hexDigits(rest.data(), rest.size()), scan::scalar::hexDigits(rest.data(), rest.size()))
                << "at " << start << " of '" << text << "'";
        });
}

TEST(Scan, HexByteRunsEndWhereTheScalarRunEnds) {
    everyStart([](Lines &lines) { return lines.hexList(240); },
               [](const ExactBuffer &rest, const std::string &text, size_t start) {
                   ASSERT_EQ(scan::wide::hexByteRun(rest.data(), rest.size()),
                             scan::scalar::hexByteRun(rest.data(), rest.size()))
                       << "at " << start << " of '" << text << "'";
               });
}

TEST(Scan, CommonPrefixesEndWhereTheScalarOnesEnd) {
    Lines lines(kSeed);
    for (int i = 0; i < kLines; ++i) {
        const std::string a = lines.mixed(150);
        std::string b = a.substr(0, lines.below(a.size() + 1));
        if (b.size() < a.size() && lines.below(2) == 0)
            b.push_back(static_cast<char>(a[b.size()] ^ (1 << lines.below(8))));
        b += lines.mixed(40);
        for (size_t size = 0; size <= std::min(a.size(), b.size()); ++size) {
            const ExactBuffer x(std::string_view(a).substr(0, size)), y(std::string_view(b).substr(0, size));
            ASSERT_EQ(scan::wide::commonPrefix(x.data(), y.data(), size), scan::scalar::commonPrefix(x.data(), y.data(), size))
                << "'" << a << "' and '" << b << "' over " << size;
        }
    }
}

// What the scalar twins answer is what the reader means by each.
TEST(Scan, ScalarTwinsAnswerAsTheFormatReads) {
    const struct {
        std::string_view text;
        char close;
        size_t run;
    } runs[] = {
        {"plain text\"", '"', 10}, {"tab\there]", ']', 8}, {"a]b", '"', 3},  {"esc\\aped", '"', 3},
        {"del\x7f ok", '"', 7},    {"utf\xc3\xa9", '"', 3}, {"ctl\x01", '"', 3}, {"cr\r", '"', 2},
        {"line\n", '"', 4},         {"", '"', 0},
    };
    for (const auto &c : runs)
        EXPECT_EQ(scan::scalar::plainRun(c.text.data(), c.text.size(), c.close), c.run) << c.text;
    EXPECT_EQ(scan::scalar::hexDigits("09afAFg", 7), 6u);
    EXPECT_EQ(scan::scalar::hexByteRun("01,ab,FF,0g,", 12), 9u);
    EXPECT_EQ(scan::scalar::hexByteRun("01,ab", 5), 3u);
    EXPECT_EQ(scan::scalar::commonPrefix("abcd", "abxd", 4), 2u);
}
