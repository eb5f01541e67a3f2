// The period search against the straightforward scan: same start, same
// repetition, same frame and the same progress values, on random songs, on
// songs built to repeat, and on data built to make window hashes collide.
#include "edit/find.h"
#include "edit/find_detail.h"
#include "song/song.h"
#include "support/find_scan.h"
#include "support/song_build.h"

#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

std::vector<int> progress_seen;
void record_progress(int percent)
{
    progress_seen.push_back(percent);
}

// Weak hashes: every window hashes alike, or the sum of the keys modulo a
// small number. Shifted left by 40 bits, the sums also share the bits that
// the search keeps in the table next to each position, so that only the
// full hash tells the entries apart. Only the confirmation on the records
// keeps the answers right.
struct ConstantHash {
    uint64_t first(const MusicEvent*) const { return 7; }
    uint64_t next(uint64_t, const MusicEvent*) const { return 7; }
};

struct SumHash {
    uint32_t window;
    uint64_t modulus;
    int shift;
    static uint64_t key(const MusicEvent& e) { return uint64_t{e.reg} << 8 | e.value; }
    uint64_t first(const MusicEvent* e) const
    {
        uint64_t sum = 0;
        for (uint32_t k = 0; k < window; ++k)
            sum += key(e[k]);
        return sum % modulus << shift;
    }
    uint64_t next(uint64_t h, const MusicEvent* e) const
    {
        uint64_t sum = (h >> shift) + key(e[window]) % modulus + modulus - key(e[0]) % modulus;
        return sum % modulus << shift;
    }
};

// Polynomial hash modulo 2^64, which Thue-Morse blocks of 2^11 writes and
// their complements defeat whatever the base.
struct Poly64Hash {
    uint32_t window;
    uint64_t top = 1;
    static constexpr uint64_t BASE = 0x9E3779B97F4A7C15ull;
    explicit Poly64Hash(uint32_t w) : window(w)
    {
        for (uint32_t k = 0; k < w; ++k)
            top *= BASE;
    }
    static uint64_t key(const MusicEvent& e) { return (uint64_t{e.reg} << 8 | e.value) + 1; }
    uint64_t first(const MusicEvent* e) const
    {
        uint64_t h = 0;
        for (uint32_t k = 0; k < window; ++k)
            h = h * BASE + key(e[k]);
        return h;
    }
    uint64_t next(uint64_t h, const MusicEvent* e) const { return h * BASE + key(e[window]) - key(e[0]) * top; }
};

QString describe(const FindResult& r)
{
    return r.found ? QStringLiteral("found i=%1 j=%2 frame=%3").arg(r.i).arg(r.j).arg(r.frame)
                   : QStringLiteral("not found");
}

// Runs the search (with the given hash, or the real one) and the scan on the
// current song; returns what differs, or an empty string.
template <class Hash>
QString compare_with_scan(uint32_t from, uint32_t window, const Hash* hash, FindResult* out = nullptr)
{
    progress_seen.clear();
    FindResult fast{true, 111, 222, 333};
    FindStatus status = hash ? find_detail::search(from, window, fast, record_progress, *hash)
                             : find_period(from, window, fast, record_progress);
    std::vector<int> fast_progress = progress_seen;

    progress_seen.clear();
    FindResult slow = find_period_scan(from, window, record_progress);

    QString where = QStringLiteral(" (M=%1 from=%2 window=%3)").arg(writes_before_last_frame()).arg(from).arg(window);
    if (status != FIND_DONE)
        return QStringLiteral("status %1").arg(status) + where;
    if (fast.found != slow.found || (slow.found && (fast.i != slow.i || fast.j != slow.j || fast.frame != slow.frame)))
        return QStringLiteral("search %1, scan %2").arg(describe(fast), describe(slow)) + where;
    if (fast_progress != progress_seen)
        return QStringLiteral("progress differs: %1 values vs %2").arg(fast_progress.size()).arg(progress_seen.size())
            + where;
    if (out)
        *out = fast;
    return QString();
}

QString compare_with_scan(uint32_t from, uint32_t window, FindResult* out = nullptr)
{
    return compare_with_scan<ConstantHash>(from, window, nullptr, out);
}

// A random number below n.
uint32_t pick(std::mt19937& rng, uint32_t n)
{
    return static_cast<uint32_t>(rng() % n);
}

std::vector<uint16_t> concat(std::initializer_list<std::vector<uint16_t>> parts)
{
    std::vector<uint16_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<uint16_t> repeat(const std::vector<uint16_t>& part, int times)
{
    std::vector<uint16_t> all;
    for (int t = 0; t < times; ++t)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Thue-Morse writes: bit n of the sequence picks one of two writes.
std::vector<uint16_t> thue_morse(uint32_t count, uint32_t offset = 0)
{
    std::vector<uint16_t> keys(count);
    for (uint32_t n = 0; n < count; ++n)
        keys[n] = __builtin_popcount(n + offset) & 1 ? 0x0701 : 0x0702;
    return keys;
}

}  // namespace

class TestFind : public QObject {
    Q_OBJECT

private slots:
    void random_songs_agree_with_scan();
    void copies_of_a_stretch();
    void overlapping_windows();
    void late_repetition_and_end_of_sequence();
    void stepping_through_three_copies();
    void progress_values();
    void frames_of_the_repetition();
    void boundary_cases_of_the_full_window();
    void colliding_hashes_stay_exact();
    void out_of_memory_leaves_result_alone();
};

void TestFind::random_songs_agree_with_scan()
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        // Small alphabets repeat by themselves; large ones mostly do not.
        const uint32_t alphabet = std::vector<uint32_t>{2, 3, 4, 16, 4096}[pick(rng, 5)];
        const uint32_t length = 1 + pick(rng, round < 300 ? 600 : 4000);
        const uint32_t window = 1 + pick(rng, 50);
        std::vector<uint16_t> keys(length);
        for (uint16_t& k : keys)
            k = static_cast<uint16_t>(pick(rng, alphabet));

        // Patchwork: later stretches copied from random earlier places, so
        // that better starts turn up late in the pass.
        if (round % 3 == 0 && length > 2 * window) {
            for (int c = 0; c < 4; ++c) {
                uint32_t len = window + pick(rng, window + 1);
                uint32_t src = pick(rng, length / 2);
                uint32_t dst = length / 2 + pick(rng, length / 2);
                for (uint32_t k = 0; k < len && src + k < length && dst + k < length; ++k)
                    keys[dst + k] = keys[src + k];
            }
        }
        QVERIFY(set_song_keys(keys, 1 + pick(rng, 20)));
        const uint32_t half = length / 2;
        for (uint32_t from : {0u, half ? pick(rng, half) : 0u, half, length + 5}) {
            QString diff = compare_with_scan(from, window);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("round %1: ").arg(round) + diff));
        }
    }
}

void TestFind::copies_of_a_stretch()
{
    for (uint32_t len : {40u, 41u, 60u, 333u}) {
        const std::vector<uint16_t> a = random_keys(len, len);
        for (int copies : {2, 3}) {
            for (uint32_t window : {3u, 20u, len - 1, len, len + 1}) {
                for (uint32_t tail : {0u, 1u, 2u, 17u}) {
                    QVERIFY(
                        set_song_keys(concat({random_keys(5, 99), repeat(a, copies), random_keys(tail, 7 + tail)}), 3));
                    QString diff = compare_with_scan(0, window);
                    QVERIFY2(diff.isEmpty(), qPrintable(diff));
                }
            }
        }
    }
    // The second window must end before the last write.
    const std::vector<uint16_t> a = random_keys(50, 5);
    FindResult r{};
    QVERIFY(set_song_keys(repeat(a, 2), 1));
    QCOMPARE(find_period(0, 50, r, nullptr), FIND_DONE);
    QVERIFY(!r.found);
    QVERIFY(set_song_keys(concat({repeat(a, 2), {0x0ABC}}), 1));
    QCOMPARE(find_period(0, 50, r, nullptr), FIND_DONE);
    QVERIFY(r.found);
    QCOMPARE(r.i, 0u);
    QCOMPARE(r.j, 50u);
}

void TestFind::overlapping_windows()
{
    // Identical writes, and short periods, with windows much longer than the period.
    for (uint32_t period : {1u, 2u, 5u, 7u}) {
        const std::vector<uint16_t> unit = random_keys(period, period + 100);
        for (uint32_t window : {3u, 11u, 40u}) {
            QVERIFY(set_song_keys(concat({random_keys(13, 1), repeat(unit, 300 / period)}), 4));
            FindResult r{};
            QString diff = compare_with_scan(0, window, &r);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
            QVERIFY(r.found);
            QCOMPARE(r.j - r.i, period);
            QVERIFY(r.i <= 13);
            diff = compare_with_scan(r.j, window);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
    }
}

void TestFind::late_repetition_and_end_of_sequence()
{
    // A window near the end of the first half copied to the very end.
    const uint32_t window = 30;
    for (uint32_t length : {400u, 401u, 2500u}) {
        for (uint32_t start : {length / 2 - window, length / 2 - 1, length / 2 - 2}) {
            for (uint32_t gap : {1u, 2u, 3u}) {
                std::vector<uint16_t> keys = random_keys(length, length + start);
                // Copy ends gap writes before the end (gap 1: ends on the
                // last write, which does not count).
                uint32_t dst = length - gap - window + 1;
                for (uint32_t k = 0; k < window; ++k)
                    keys[dst + k] = keys[start + k];
                QVERIFY(set_song_keys(keys, 9));
                FindResult r{};
                QString diff = compare_with_scan(0, window, &r);
                QVERIFY2(diff.isEmpty(), qPrintable(diff));
                QCOMPARE(r.found, gap > 1);
            }
        }
    }
}

void TestFind::stepping_through_three_copies()
{
    // Three copies of a stretch longer than the real window: each search
    // goes on from the previous repetition, the third finds nothing.
    const std::vector<uint16_t> a = random_keys(12500, 3);
    QVERIFY(set_song_keys(repeat(a, 3), 14));
    uint32_t from = 0;
    for (uint32_t expect_j : {12500u, 25000u}) {
        FindResult r{};
        QString diff = compare_with_scan(from, FIND_WINDOW, &r);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QVERIFY(r.found);
        QCOMPARE(r.j, expect_j);
        QCOMPARE(r.frame, expect_j / 14);
        from = r.j;
    }
    FindResult r{};
    QString diff = compare_with_scan(from, FIND_WINDOW, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(!r.found);
}

void TestFind::progress_values()
{
    // 30,000 writes without repetition, half 15,000, starting at 1,500.
    QVERIFY(set_song_keys(random_keys(30000, 11), 10));
    FindResult r{};
    progress_seen.clear();
    QCOMPARE(find_period(1500, FIND_WINDOW, r, record_progress), FIND_DONE);
    QVERIFY(!r.found);
    const std::vector<int> not_found{10, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73, 80, 86, 93, 100};
    QCOMPARE(progress_seen, not_found);
    QString diff = compare_with_scan(1500, FIND_WINDOW);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // Found at i = 3,000 (half 7,000): values up to and including that start.
    std::vector<uint16_t> keys = random_keys(14000, 12);
    for (uint32_t k = 0; k < 20; ++k)
        keys[9000 + k] = keys[3000 + k];
    QVERIFY(set_song_keys(keys, 10));
    progress_seen.clear();
    QCOMPARE(find_period(999, 20, r, record_progress), FIND_DONE);
    QVERIFY(r.found);
    QCOMPARE(r.i, 3000u);
    QCOMPARE(progress_seen, (std::vector<int>{14, 14, 28, 42}));
    for (uint32_t from : {0u, 999u, 1000u, 2999u, 3000u, 3001u, 6999u, 7000u}) {
        diff = compare_with_scan(from, 20);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // Empty song, no progress callback.
    QVERIFY(set_song({}, 0));
    progress_seen.clear();
    QCOMPARE(find_period(0, FIND_WINDOW, r, record_progress), FIND_DONE);
    QVERIFY(!r.found);
    QCOMPARE(progress_seen, std::vector<int>{100});
    QCOMPARE(find_period(0, 0, r, nullptr), FIND_DONE);
    QVERIFY(!r.found);
}

void TestFind::frames_of_the_repetition()
{
    // The repetition's writes fall into other frames than the original's,
    // with empty frames in between; the frame is that of its first write.
    const std::vector<uint16_t> a = random_keys(200, 21);
    std::vector<SongWrite> writes = spread(a, 7);
    std::vector<SongWrite> again = spread(a, 3, 1000);
    writes.insert(writes.end(), again.begin(), again.end());
    std::vector<SongWrite> tail = spread(random_keys(10, 22), 1, 2000);
    writes.insert(writes.end(), tail.begin(), tail.end());
    QVERIFY(set_song(writes, 2010));
    FindResult r{};
    QString diff = compare_with_scan(0, 150, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(r.found);
    QCOMPARE(r.j, 200u);
    QCOMPARE(r.frame, 1000u);

    // Writes after the last frame end are not part of the search: here they
    // would complete a repetition.
    writes = spread(random_keys(300, 23), 5);
    const uint32_t last = writes.back().frame + 1;
    for (uint32_t k = 0; k < 60; ++k)
        writes.push_back(SongWrite{writes[k].reg, writes[k].value, last});
    QVERIFY(set_song(writes, last));
    diff = compare_with_scan(0, 50, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(!r.found);
    QVERIFY(set_song(writes, last + 1));
    diff = compare_with_scan(0, 50, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(r.found);
    QCOMPARE(r.j, 300u);
    QCOMPARE(r.frame, last);
}

void TestFind::boundary_cases_of_the_full_window()
{
    FindResult r{};
    // 12,001 identical writes: too short. 12,002: found at (0, 1).
    QVERIFY(set_song_keys(std::vector<uint16_t>(12001, 0x0305), 12));
    QVERIFY2(compare_with_scan(0, FIND_WINDOW, &r).isEmpty(), "12001");
    QVERIFY(!r.found);
    QVERIFY(set_song_keys(std::vector<uint16_t>(12002, 0x0305), 1));
    QVERIFY2(compare_with_scan(0, FIND_WINDOW, &r).isEmpty(), "12002");
    QVERIFY(r.found);
    QCOMPARE(r.i, 0u);
    QCOMPARE(r.j, 1u);
    QCOMPARE(r.frame, 1u);

    // Two copies of 12,000 writes: the second window would end on the last write.
    const std::vector<uint16_t> a = random_keys(12000, 31);
    QVERIFY(set_song_keys(repeat(a, 2), 4));
    QVERIFY2(compare_with_scan(0, FIND_WINDOW, &r).isEmpty(), "two copies");
    QVERIFY(!r.found);
    // One write more and it counts.
    QVERIFY(set_song_keys(concat({repeat(a, 2), {0x0F00}}), 4));
    QVERIFY2(compare_with_scan(0, FIND_WINDOW, &r).isEmpty(), "two copies and one");
    QVERIFY(r.found);
    QCOMPARE(r.j, 12000u);
    QCOMPARE(r.frame, 3000u);

    // Windows as long as the sequence or longer fit nowhere, up to the
    // longest a window can be.
    QVERIFY(set_song_keys(repeat(random_keys(1000, 32), 3), 3));
    for (uint32_t window : {1000u, 2998u, 2999u, 3000u, 3001u, UINT32_MAX}) {
        for (uint32_t from : {0u, 1u}) {
            const QString diff = compare_with_scan(from, window, &r);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
            QCOMPARE(r.found, window == 1000u);
        }
    }
}

void TestFind::colliding_hashes_stay_exact()
{
    // Weak hashes on random and repeating songs.
    std::mt19937 rng(77);
    for (int round = 0; round < 120; ++round) {
        const uint32_t window = 2 + pick(rng, 30);
        const uint32_t alphabet = round % 2 ? 3 : 4096;
        std::vector<uint16_t> keys(50 + pick(rng, 700));
        for (uint16_t& k : keys)
            k = static_cast<uint16_t>(pick(rng, alphabet));
        if (round % 4 == 0)
            keys = concat({keys, keys, random_keys(3, round)});
        QVERIFY(set_song_keys(keys, 5));
        const uint32_t from = pick(rng, static_cast<uint32_t>(keys.size() / 2 + 1));
        const ConstantHash constant;
        const SumHash sum3{window, 3, 0};
        const SumHash sum_wide{window, 1009, 40};
        QString diff = compare_with_scan(from, window, &constant);
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("constant: ") + diff));
        diff = compare_with_scan(from, window, &sum3);
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("sum mod 3: ") + diff));
        diff = compare_with_scan(from, window, &sum_wide);
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("sum mod 1009: ") + diff));
    }

    // A Thue-Morse block T of 2^11 writes and its complement ~T hash alike
    // modulo 2^64. In T s ~T s' ~T s'' (s: random separators) the table
    // keeps T's start for that hash, and the real repetition, of ~T, is
    // behind the collision.
    const uint32_t w = 2048;
    const std::vector<uint16_t> t = thue_morse(w);
    const std::vector<uint16_t> not_t = thue_morse(w, w);
    QVERIFY(
        set_song_keys(concat({t, random_keys(37, 41), not_t, random_keys(38, 42), not_t, random_keys(40, 43)}), 16));
    const Poly64Hash poly64(w);
    QCOMPARE(poly64.first(music), poly64.first(music + w + 37));
    QVERIFY(!find_detail::same_writes(music, music + w + 37, w));
    FindResult r{};
    QString diff = compare_with_scan(0, w, &poly64, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("poly64: ") + diff));
    QVERIFY(r.found);
    QCOMPARE(r.i, w + 37);
    QCOMPARE(r.j, 2 * w + 37 + 38);
    diff = compare_with_scan(0, w);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // A longer stretch of Thue-Morse, several windows and starts.
    QVERIFY(set_song_keys(concat({thue_morse(20000, 5)}), 16));
    for (uint32_t window : {w, w + 1, 3000u, FIND_WINDOW}) {
        for (uint32_t from : {0u, 1u, 4096u, 6000u}) {
            const Poly64Hash weak(window);
            diff = compare_with_scan(from, window, &weak);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("poly64: ") + diff));
            diff = compare_with_scan(from, window);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
    }

    // The real window with every hash alike.
    QVERIFY(set_song_keys(concat({random_keys(300, 51), repeat(random_keys(12300, 52), 2), random_keys(10, 53)}), 14));
    const ConstantHash constant;
    diff = compare_with_scan(0, FIND_WINDOW, &constant, &r);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(r.found);
    QCOMPARE(r.j, 12600u);
}

// Runs in a process of its own (see below): a big song, then an
// address-space limit just above what the process already uses. Returns the
// exit status, 0 when all went as it should.
int out_of_memory_child()
{
    if (!set_song_keys(random_keys(2000000, 61), 15))
        return 10;
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1)
        return 11;
    std::fclose(statm);
    rlimit old_limit{};
    if (getrlimit(RLIMIT_AS, &old_limit) != 0)
        return 12;
    rlimit limit = old_limit;
    limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (2u << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0)
        return 13;

    FindResult r{true, 1, 2, 3};
    if (find_period(0, FIND_WINDOW, r, record_progress) != FIND_NO_MEMORY)
        return 20;
    if (!r.found || r.i != 1 || r.j != 2 || r.frame != 3)
        return 21;
    if (!progress_seen.empty())
        return 22;

    // With the memory back the same search runs.
    if (setrlimit(RLIMIT_AS, &old_limit) != 0)
        return 14;
    if (find_period(0, FIND_WINDOW, r, record_progress) != FIND_DONE || r.found || progress_seen.empty())
        return 23;
    return 0;
}

void TestFind::out_of_memory_leaves_result_alone()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address-space limit does not work with the address sanitizer");
#endif
    // The child is started afresh rather than merely forked: in a forked
    // copy of this process the allocator falls back on the arenas of the
    // test library's threads, whose address space is already reserved, and
    // the limit would not bite.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--out-of-memory-child")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--out-of-memory-child") == 0)
        return out_of_memory_child();
    QCoreApplication app(argc, argv);
    TestFind test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_find.moc"
