#include "transcript.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using transcript::line;
using transcript::partial_sum;
using transcript::speaker;

TEST(Parse, TakesExactlyTheSixTexts)
{
    struct reading {
        std::string_view text;
        std::optional<line> read;
    };
    const reading readings[] = {
        {"Thread m, 1+..+2 = 3", line{.who = speaker::m, .term = 2, .value = 3}},
        {"Thread n, the final result = 15", line{.who = speaker::n, .final = true, .value = 15}},
        {"Main thread, the middle result m+n = 0", line{.value = 0}},
        {"Main thread, the final result m+n = 30", line{.final = true, .value = 30}},
        {"Thread m, 1+..+2 = 03", std::nullopt},
        {"Thread m, 1+..+2 = 3 ", std::nullopt},
        {"Thread m, 1+..+2 =3", std::nullopt},
        {"Thread m, 1+..+ = 3", std::nullopt},
        {"Main thread, the middle result m+n = -1", std::nullopt},
        {"Main thread, the middle result m+n = ", std::nullopt},
        {"Thread x, 1+..+2 = 3", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, read] : readings) {
        const std::optional<line> got = transcript::parse(text);
        ASSERT_EQ(got.has_value(), read.has_value()) << text;
        if (got) {
            EXPECT_TRUE(got->who == read->who && got->final == read->final && got->term == read->term &&
                        got->value == read->value)
                << text;
        }
    }
}

// The samples' property as first stated, tried by brute force: some choice of
// m's share for every sample, n's following from the total, with each share
// a partial sum, never going down, at least what the worker reported before
// the previous middle line and at most what it reports first after this one.
bool some_split_fits(const std::vector<line>& lines, bool in_order)
{
    struct sample {
        long total;
        std::array<long, 2> floor{0, 0};
        std::array<long, 2> ceiling{15, 15};
    };
    std::vector<sample> samples;
    std::array<long, 2> reported{0, 0};
    std::array<long, 2> at_last_middle{0, 0};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].who != speaker::main || lines[i].final) {
            continue;
        }
        sample s{.total = lines[i].value};
        if (in_order) {
            for (std::size_t j = 0; j < i; ++j) {
                if (lines[j].who != speaker::main) {
                    reported.at(lines[j].who == speaker::m ? 0 : 1) = lines[j].value;
                }
            }
            s.floor = at_last_middle;
            at_last_middle = reported;
            std::array<bool, 2> capped{false, false};
            for (std::size_t j = i + 1; j < lines.size(); ++j) {
                const std::size_t w = lines[j].who == speaker::m ? 0 : 1;
                if (lines[j].who != speaker::main && !capped.at(w)) {
                    s.ceiling.at(w) = lines[j].value;
                    capped.at(w) = true;
                }
            }
        }
        samples.push_back(s);
    }
    std::vector<int> choice(samples.size(), 0);
    for (;;) {
        bool fits = true;
        std::array<long, 2> before{0, 0};
        for (std::size_t s = 0; s < samples.size() && fits; ++s) {
            const std::array<long, 2> shares{partial_sum(choice[s]),
                                             samples[s].total - partial_sum(choice[s])};
            for (std::size_t w = 0; w < 2; ++w) {
                bool is_partial_sum = false;
                for (int k = 0; k <= transcript::last_term; ++k) {
                    is_partial_sum = is_partial_sum || shares.at(w) == partial_sum(k);
                }
                fits = fits && is_partial_sum && before.at(w) <= shares.at(w) &&
                       samples[s].floor.at(w) <= shares.at(w) && shares.at(w) <= samples[s].ceiling.at(w);
            }
            before = shares;
        }
        if (fits) {
            return true;
        }
        std::size_t s = 0;
        for (; s < choice.size() && choice[s] == transcript::last_term; ++s) {
            choice[s] = 0;
        }
        if (s == choice.size()) {
            return false;
        }
        ++choice[s];
    }
}

// Each worker's lines right and in order, and the final line last, mixed at
// random with middle results whose totals are drawn near the right ones; so
// that the checker's verdict rests on the samples alone.
std::vector<line> random_transcript(std::mt19937& random, int middles)
{
    std::vector<speaker> order(12, speaker::m);
    std::fill(order.begin() + 6, order.end(), speaker::n);
    order.insert(order.end(), static_cast<std::size_t>(middles), speaker::main);
    std::shuffle(order.begin(), order.end(), random);
    std::array<int, 2> seen{0, 0};
    std::uniform_int_distribution<long> total(0, 30);
    std::vector<line> lines;
    for (const speaker who : order) {
        if (who == speaker::main) {
            lines.push_back({.value = total(random)});
            continue;
        }
        const int k = ++seen.at(who == speaker::m ? 0 : 1);
        lines.push_back(k <= 5 ? line{.who = who, .term = k, .value = partial_sum(k)}
                               : line{.who = who, .final = true, .value = 15});
    }
    lines.push_back({.final = true, .value = 30});
    return lines;
}

TEST(Checker, AgreesWithTheSplitsTriedOneByOne)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::array<int, 2> verdicts{0, 0}; // how many failed, how many kept
    for (int run = 0; run < 20000; ++run) {
        const int middles = run % 5;
        const std::vector<line> lines = random_transcript(random, middles);
        for (const auto order : {transcript::checker::order::printed, transcript::checker::order::apart}) {
            transcript::checker check(middles, order);
            bool kept = true;
            for (const line& l : lines) {
                kept = kept && check.add(l);
            }
            kept = kept && check.finish();
            const bool expected = some_split_fits(lines, order == transcript::checker::order::printed);
            ASSERT_EQ(kept, expected) << "run " << run << (kept ? "" : std::string(": ") + check.what);
            ++verdicts.at(kept ? 1 : 0);
        }
    }
    // Neither verdict may be rare, or the agreement would say little.
    EXPECT_GT(verdicts[0], 2000);
    EXPECT_GT(verdicts[1], 2000);
}

} // namespace
