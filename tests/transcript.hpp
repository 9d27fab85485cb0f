#pragma once

// The lines that a run prints, and what every interleaving of its three
// threads keeps. The process tests read the lines from the program's output;
// the model checker's harness records them as the program prints them, in
// every execution that the memory model allows, and checks them there, where
// every memory access is an event that costs time. So the check is one pass
// over the lines with a few numbers of state, and needs no allocation and no
// table but the six texts, which the harness does not read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace transcript {

enum class speaker : std::uint8_t { m, n, main };

// What a line says: a progress line its term k and sum, a worker's final line
// its sum, the main thread's lines their total.
struct line {
    speaker who = speaker::main;
    bool final = false;
    int term = 0; // 0 but on a progress line
    long value = 0;
};

constexpr int last_term = 5;

// 1 + 2 + ... + k, worked out rather than looked up, as a lookup would be an
// event for the model checker.
constexpr long partial_sum(long k)
{
    return k * (k + 1) / 2;
}

// How each line starts, before its numbers.
struct kind {
    std::string_view prefix;
    speaker who;
    bool final;
};
constexpr std::array<kind, 6> kinds{{
    {"Thread m, 1+..+", speaker::m, false},
    {"Thread m, the final result = ", speaker::m, true},
    {"Thread n, 1+..+", speaker::n, false},
    {"Thread n, the final result = ", speaker::n, true},
    {"Main thread, the middle result m+n = ", speaker::main, false},
    {"Main thread, the final result m+n = ", speaker::main, true},
}};

// Takes a plain decimal number, as %d and %ld print one that is not negative,
// off the front of text.
constexpr std::optional<long> take_number(std::string_view& text)
{
    constexpr std::size_t most_digits = 9;
    std::size_t digits = 0;
    long value = 0;
    for (; digits < text.size() && digits < most_digits && text[digits] >= '0' && text[digits] <= '9';
         ++digits) {
        value = value * 10 + (text[digits] - '0');
    }
    if (digits == 0 || (text[0] == '0' && digits > 1)) {
        return std::nullopt;
    }
    text.remove_prefix(digits);
    return value;
}

// A line of output, without its line feed, if it is exactly one of the six.
constexpr std::optional<line> parse(std::string_view text)
{
    for (const kind& k : kinds) {
        if (!text.starts_with(k.prefix)) {
            continue;
        }
        text.remove_prefix(k.prefix.size());
        line l{.who = k.who, .final = k.final};
        if (k.who != speaker::main && !k.final) {
            const std::optional<long> term = take_number(text);
            constexpr std::string_view equals = " = ";
            if (!term || !text.starts_with(equals)) {
                return std::nullopt;
            }
            l.term = static_cast<int>(*term);
            text.remove_prefix(equals.size());
        }
        const std::optional<long> value = take_number(text);
        if (!value || !text.empty()) {
            return std::nullopt;
        }
        l.value = *value;
        return l;
    }
    return std::nullopt;
}

// Whether the samples so far split into a share of m and a share of n, each a
// partial sum, neither ever going down, within the bounds that the lines
// around them set. Keeps every split still possible, since an early choice
// can strand a later sample: a bit for each share of m that the latest sample
// may hold, n's share following from its total.
class splits {
public:
    // Adds a sample whose shares are at least the floors.
    constexpr bool add(long total, long m_floor, long n_floor)
    {
        unsigned next = 0;
        for (int a = 0; a <= last_term; ++a) {
            const long m_share = partial_sum(a);
            const long n_share = total - m_share;
            if (m_share >= m_floor && n_share >= n_floor && is_partial_sum(n_share) &&
                grows_from_latest(a, n_share)) {
                next |= 1U << a;
            }
        }
        m_shares_ = next;
        total_ = total;
        return next != 0;
    }

    // Bounds the latest sample's share of m, or of n, by a value that the
    // worker reported after it. Its earlier samples need no bound of their
    // own: a share never goes down, so theirs are no more than the latest's.
    constexpr bool cap(bool of_m, long most)
    {
        for (int a = 0; a <= last_term; ++a) {
            if ((of_m ? partial_sum(a) : total_ - partial_sum(a)) > most) {
                m_shares_ &= ~(1U << a);
            }
        }
        return m_shares_ != 0;
    }

private:
    static constexpr bool is_partial_sum(long share)
    {
        for (int k = 0; k <= last_term; ++k) {
            if (partial_sum(k) == share) {
                return true;
            }
        }
        return false;
    }

    constexpr bool grows_from_latest(int a, long n_share) const
    {
        for (int before = 0; before <= a; ++before) {
            if ((m_shares_ & (1U << before)) != 0 && total_ - partial_sum(before) <= n_share) {
                return true;
            }
        }
        return false;
    }

    unsigned m_shares_ = 1; // before any sample: nothing of either
    long total_ = 0;
};

// Checks lines, given one at a time, against what every interleaving keeps:
// each worker's lines in order, the k-th with k and the k-th partial sum, then
// its final line with 15; exactly max(count, 0) middle results, then the final
// result, 30, as the main thread's last line; and samples that split into
// shares that never go down.
//
// In order: lines as they were printed, through one locked stream. A worker
// stores each partial sum before the line that reports it, and the driver
// takes each sample after its previous middle line and before its own; so a
// sample also holds at least what each worker reported before the previous
// middle line, and at most what it reports first after this one, and the
// final result is the last line of all. Apart: each thread's lines in its own
// order, with nothing known of the order between threads.
class checker {
public:
    enum class order : std::uint8_t { printed, apart };

    constexpr checker(std::int64_t count, order lines)
        : middles_(count > 0 ? count : 0), printed_(lines == order::printed)
    {
    }

    // Whether the lines so far keep every property; if not, what and at say
    // why and where.
    constexpr bool add(const line& l)
    {
        ++lines_;
        if (printed_ && ended_) {
            return fail("a line after the final result");
        }
        switch (l.who) {
        case speaker::m:
            return add_worker(l, m_, true);
        case speaker::n:
            return add_worker(l, n_, false);
        case speaker::main:
            break;
        }
        return add_main(l);
    }

    // Whether nothing is missing once every line has been added.
    constexpr bool finish()
    {
        return (m_.seen == last_term + 1 && n_.seen == last_term + 1 && ended_) ||
               fail("a worker's lines or the final result are missing");
    }

    // The first failure, and its line, counted from 1 among the lines added.
    const char* what = nullptr;
    std::size_t at = 0;

private:
    // What a worker's lines have shown: how many, the last sum, and that sum
    // as it was at the latest middle result (only in order).
    struct worker {
        int seen = 0;
        long reported = 0;
        long floor = 0;
    };

    constexpr bool add_worker(const line& l, worker& w, bool of_m)
    {
        const int k = ++w.seen;
        const bool right = k <= last_term
                               ? !l.final && l.term == k && l.value == partial_sum(k)
                               : k == last_term + 1 && l.final && l.value == partial_sum(last_term);
        if (!right) {
            return fail("a worker's line is wrong, out of order, or one too many");
        }
        if (printed_) {
            w.reported = l.value;
            if (!splits_.cap(of_m, l.value)) {
                return fail(
                    "a middle result before this line holds more of this worker's sum than it reports");
            }
        }
        return true;
    }

    constexpr bool add_main(const line& l)
    {
        if (ended_) {
            return fail("a main thread's line after the final result");
        }
        if (l.final) {
            ended_ = true;
            return (middles_seen_ == middles_ && l.value == 2 * partial_sum(last_term)) ||
                   fail("the final result comes too early or is not 30");
        }
        if (++middles_seen_ > middles_) {
            return fail("one middle result too many");
        }
        if (!splits_.add(l.value, m_.floor, n_.floor)) {
            return fail(
                "a middle result fits no split into shares of m and n that keeps both from going down "
                "and within what the lines around it report");
        }
        m_.floor = m_.reported;
        n_.floor = n_.reported;
        return true;
    }

    constexpr bool fail(const char* why)
    {
        if (what == nullptr) {
            what = why;
            at = lines_;
        }
        return false;
    }

    std::int64_t middles_;
    bool printed_;
    std::size_t lines_ = 0;
    std::int64_t middles_seen_ = 0;
    bool ended_ = false;
    worker m_;
    worker n_;
    splits splits_;
};

} // namespace transcript
