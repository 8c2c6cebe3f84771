// The compact history: every entry comes back with exactly the pixels it recorded, whatever the
// order of access, across changes of size and after recording from an earlier position; small
// edits take little memory; running out of memory leaves the history as it was.

#include "edit/history.h"
#include "platform/core/error.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <random>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <vector>

namespace {

QImage noise(int w, int h, std::mt19937& rng) {
    QImage img(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < 3 * w; ++i)
            img.scanLine(y)[i] = uchar(rng());
    return img;
}

// A screen-like picture: flat areas with some texture, so that it compresses as screens do.
QImage screen_like(int w, int h, std::mt19937& rng) {
    QImage img(w, h, QImage::Format_BGR888);
    img.fill(QColor(0xF0, 0xF0, 0xF0));
    for (int y = 0; y < h; y += 1 + int(rng() % 40))
        for (int x = int(rng() % 50); x < w; x += 2 + int(rng() % 300))
            std::memset(img.scanLine(y) + 3 * x, int(rng() % 256),
                        3 * std::min(w - x, 1 + int(rng() % 20)));
    return img;
}

// A small edit: a filled rectangle somewhere in the picture, drawn on a detached copy.
QImage edited(const QImage& from, std::mt19937& rng, int max_side = 200) {
    QImage img = from.copy();
    const int w = 1 + int(rng() % uint(std::min(max_side, img.width())));
    const int h = 1 + int(rng() % uint(std::min(max_side, img.height())));
    const int x0 = int(rng() % uint(img.width() - w + 1)),
              y0 = int(rng() % uint(img.height() - h + 1));
    const uchar v = uchar(rng());
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            img.scanLine(y)[3 * x + int(rng() % 3)] ^= v | 1;
    return img;
}

bool same(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 3) != 0)
            return false;
    return true;
}

TEST(History, EveryEntryComesBackExactlyInAnyOrder) {
    std::mt19937 rng(17);
    History history;
    std::vector<QImage> recorded;
    auto record = [&](const QImage& img, int after) {
        history.append_after(after, img);
        recorded.resize(size_t(after) + 1);
        recorded.push_back(img);
    };
    QImage current = noise(97, 61, rng);
    record(current, -1);
    for (int step = 0; step < 60; ++step) {
        const int what = int(rng() % 10);
        int after = history.count() - 1;
        if (what == 0) { // a resize: a picture of another size
            current = noise(40 + int(rng() % 80), 30 + int(rng() % 50), rng);
        } else if (what == 1) { // the negative effect followed by an edit
            current = current.copy();
            current.invertPixels();
            current = edited(current, rng, 30);
        } else if (what == 2) { // nothing changed since the last entry
        } else if (what == 3) { // undos, then an edit or a resize in place of the steps undone
            after = int(rng() % uint(history.count()));
            current = rng() % 2 ? edited(history.at(after), rng, 30) : noise(50, 40, rng);
        } else {
            current = edited(current, rng, 30);
        }
        record(current, after);
        // Undo and redo step by one; other accesses jump anywhere.
        for (int probe = 0; probe < 3; ++probe) {
            const int i = int(rng() % uint(history.count()));
            ASSERT_TRUE(same(history.at(i), recorded[size_t(i)]))
                << "step " << step << " entry " << i;
        }
    }
    for (int i = history.count() - 1; i >= 0; --i)
        ASSERT_TRUE(same(history.at(i), recorded[size_t(i)])) << "undo to " << i;
    for (int i = 0; i < history.count(); ++i)
        ASSERT_TRUE(same(history.at(i), recorded[size_t(i)])) << "redo to " << i;
    history.clear();
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(history.bytes(), 0);
}

// Where an undo or a redo may repaint only what changed, every pixel that differs lies inside;
// once the picture was drawn on after it was recorded, nothing is claimed.
TEST(History, ChangeFromCoversEveryDifferingPixelAndOnlyForTheEntryShown) {
    std::mt19937 rng(23);
    History history;
    std::vector<QImage> recorded{screen_like(300, 200, rng)};
    history.append(recorded.back());
    for (int i = 0; i < 6; ++i) {
        recorded.push_back(edited(recorded.back(), rng, 60));
        history.append(recorded.back());
    }
    QImage shown = history.at(6);
    for (const int to : {5, 2, 3, 6, 0, 1}) {
        const std::optional<QRect> changed = history.change_from(shown, to);
        ASSERT_TRUE(changed.has_value()) << to;
        const QImage next = history.at(to);
        for (int y = 0; y < next.height(); ++y) {
            for (int x = 0; x < next.width(); ++x) {
                if (std::memcmp(next.constScanLine(y) + 3 * x, shown.constScanLine(y) + 3 * x, 3)) {
                    ASSERT_TRUE(changed->contains(x, y)) << to << " " << x << "," << y;
                }
            }
        }
        shown = next;
    }
    EXPECT_EQ(history.change_from(shown, 1), QRect()); // the same entry: nothing to repaint
    QImage drawn_on = shown;
    drawn_on.bits()[0] ^= 1;
    EXPECT_FALSE(history.change_from(drawn_on, 0).has_value());
    history.append_after(1, recorded[0].scaled(150, 100)); // a change of size: no link
    shown = history.at(2);
    EXPECT_FALSE(history.change_from(shown, 1).has_value());
}

// The negative's step is known without its data; every entry around it comes back exactly.
TEST(History, ANegativeStepWalksBothWays) {
    std::mt19937 rng(7);
    QImage first = screen_like(301, 77, rng); // rows of 903 bytes: words and a tail
    QImage negative = first.copy();
    negative.invertPixels();
    const QImage after = edited(negative, rng, 40);
    History history;
    history.append(first);
    history.append_negative_after(0, negative);
    history.append(after);
    for (const int i : {1, 0, 2, 0, 1, 2}) {
        const QImage& expected = i == 0 ? first : i == 1 ? negative : after;
        EXPECT_TRUE(same(history.at(i), expected)) << i;
    }
}

TEST(History, RecordedPixelsDoNotFollowLaterDrawing) {
    std::mt19937 rng(5);
    History history;
    QImage picture = noise(30, 20, rng);
    const QImage first = picture.copy();
    history.append(picture);
    picture.scanLine(3)[7] ^= 0xFF; // drawing detaches the picture from the entry
    history.append(picture);
    EXPECT_TRUE(same(history.at(0), first));
    QImage restored = history.at(1);
    restored.scanLine(0)[0] ^= 0xFF; // nor does drawing on a restored picture change the entry
    EXPECT_TRUE(same(history.at(1), picture));
}

TEST(History, SmallEditsTakeLittleMemory) {
    std::mt19937 rng(23);
    History history;
    QImage current = screen_like(1920, 1080, rng);
    history.append(current);
    for (int i = 0; i < 40; ++i) {
        current = edited(current, rng);
        history.append(current);
    }
    // One plain frame (the one shown, shared with the picture) and the differences.
    const qsizetype frame = 1920 * 1080 * 3;
    EXPECT_LT(history.bytes(), frame + 40 * 20 * 1024) << history.bytes();
    // Stepping all the way back keeps no more plain frames than that.
    for (int i = history.count() - 2; i >= 0; --i)
        history.at(i);
    EXPECT_LT(history.bytes(), frame + 40 * 20 * 1024) << history.bytes();
}

TEST(History, ACostlyStepKeepsTheEntryBeyondItPlainWhileItIsNext) {
    // A stroke after the negative effect differs from the entry before it everywhere, and a
    // resize has no link at all: the entry on the far side of such a step stays plain while it
    // is a neighbour of the entry shown, and is let go once it is not.
    std::mt19937 rng(41);
    History history;
    const qsizetype frame = 1920 * 1080 * 3;
    const QImage a = screen_like(1920, 1080, rng);
    history.append(a);
    QImage inverted = a.copy();
    inverted.invertPixels();
    const QImage b = edited(inverted, rng);
    history.append(b);
    EXPECT_GE(history.bytes(), 2 * frame); // b shown, a kept
    EXPECT_TRUE(same(history.at(0), a));
    EXPECT_GE(history.bytes(), 2 * frame); // a shown, b kept
    EXPECT_TRUE(same(history.at(1), b));

    const QImage c = edited(b, rng);
    history.append(c); // the costly step is now two steps away
    EXPECT_LT(history.bytes(), frame + 1024 * 1024) << history.bytes();
    EXPECT_TRUE(same(history.at(1), b));
    EXPECT_LT(history.bytes(), frame + 1024 * 1024) << history.bytes();
    EXPECT_TRUE(same(history.at(0), a));
    EXPECT_GE(history.bytes(), 2 * frame);

    EXPECT_TRUE(same(history.at(2), c));
    const QImage d = c.scaled(960, 540);
    history.append(d);
    EXPECT_GE(history.bytes(), frame + 960 * 540 * 3); // c kept for the undo of the resize
    EXPECT_TRUE(same(history.at(2), c));
    EXPECT_TRUE(same(history.at(3), d));
    EXPECT_TRUE(same(history.at(1), b));
    EXPECT_TRUE(same(history.at(0), a));
}

#ifndef _WIN32
// An address-space limit for the process: POSIX only.
// Limits the address space to what is mapped now plus `spare` bytes for the object's lifetime.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(long spare) {
        getrlimit(RLIMIT_AS, &saved_);
        long kib = 0;
        if (FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "VmSize: %ld kB", &kib) == 1)
                    break;
            std::fclose(f);
        }
        rlimit limited = saved_;
        limited.rlim_cur = rlim_t(kib) * 1024 + rlim_t(spare);
        ok_ = kib > 0 && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

TEST(History, RunningOutOfMemoryKeepsEveryEntry) {
    std::mt19937 rng(31);
    History history;
    const QImage a = noise(1200, 900, rng);
    const QImage b = edited(a, rng);
    history.append(a);
    history.append(b);
    // Noise of another size needs a whole compressed copy of several megabytes.
    const QImage c = noise(1600, 1200, rng);
    {
        AddressSpaceLimit limit(512 * 1024);
        ASSERT_TRUE(limit.ok());
        try {
            history.append(c);
            ADD_FAILURE() << "no error";
        } catch (const KapError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("Mémoire insuffisante pour enregistrer cette étape dans "
                                     "l'historique."));
        }
    }
    ASSERT_EQ(history.count(), 2);
    EXPECT_TRUE(same(history.at(0), a));
    EXPECT_TRUE(same(history.at(1), b));
    history.append(c);
    EXPECT_TRUE(same(history.at(2), c));
    EXPECT_TRUE(same(history.at(0), a));
}

#endif

} // namespace
