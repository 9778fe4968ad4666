// Writes the project's demo song: a short four-channel ProTracker module
// ("M.K.") whose instruments are synthesised here, so that no music from
// elsewhere is needed. Usage: make_demo_mod OUT.mod
//
// Built for, and run on, the build machine; it depends on nothing but the
// C++ standard library.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int rows_per_pattern = 64;
constexpr int channel_count = 4;
constexpr int sample_slots = 31;
constexpr double pi = 3.14159265358979323846;

struct Sample {
    std::string name;
    std::vector<int8_t> data;  // even length
    int volume = 64;
    int loop_start = 0;   // bytes
    int loop_length = 0;  // bytes; 0 means no loop
};

struct Cell {
    int sample = 0;  // 1-based; 0 keeps the channel's sample
    int period = 0;  // 0: no note
    int effect = 0;
    int parameter = 0;
};

using Pattern = std::vector<Cell>;  // rows * channels

int8_t clamp_sample(double value) {
    const long rounded = std::lround(value);
    return static_cast<int8_t>(rounded > 127 ? 127 : rounded < -128 ? -128 : rounded);
}

// A few bits of deterministic noise.
struct Noise {
    uint32_t state = 0x2468ace1u;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
    }
};

// One cycle of 32 samples: at the period of C-2 it sounds near middle C.
Sample lead() {
    Sample s{"lead", {}, 40, 0, 32};
    for (int i = 0; i < 32; ++i) {
        const double t = i / 32.0;
        const double pulse = t < 0.3 ? 1.0 : -1.0;
        const double saw = 2.0 * t - 1.0;
        s.data.push_back(clamp_sample(60.0 * (0.6 * pulse + 0.4 * saw)));
    }
    return s;
}

// One cycle of 64 samples: an octave under the lead at the same period.
Sample bass() {
    Sample s{"bass", {}, 56, 0, 64};
    for (int i = 0; i < 64; ++i) {
        const double phase = 2.0 * pi * i / 64.0;
        s.data.push_back(clamp_sample(90.0 * std::sin(phase) + 25.0 * std::sin(2.0 * phase)));
    }
    return s;
}

// Played at C-2 the sample rate is about 8287 Hz.
constexpr double note_rate = 8287.0;

Sample kick() {
    Sample s{"kick", {}, 64, 0, 0};
    double phase = 0.0;
    for (int i = 0; i < 2400; ++i) {
        const double t = i / note_rate;
        const double frequency = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2.0 * pi * frequency / note_rate;
        s.data.push_back(clamp_sample(120.0 * std::exp(-t * 9.0) * std::sin(phase)));
    }
    return s;
}

Sample snare() {
    Sample s{"snare", {}, 48, 0, 0};
    Noise noise;
    for (int i = 0; i < 2000; ++i) {
        const double t = i / note_rate;
        const double tone = std::sin(2.0 * pi * 190.0 * t) * std::exp(-t * 25.0);
        s.data.push_back(clamp_sample(110.0 * (0.5 * tone + 0.6 * noise.next() * std::exp(-t * 14.0))));
    }
    return s;
}

Sample hat() {
    Sample s{"hat", {}, 32, 0, 0};
    Noise noise;
    double previous = 0.0;
    for (int i = 0; i < 700; ++i) {
        const double t = i / note_rate;
        const double white = noise.next();
        s.data.push_back(clamp_sample(100.0 * (white - previous) * 0.5 * std::exp(-t * 45.0)));  // crude high-pass
        previous = white;
    }
    return s;
}

// Amiga periods of octaves 1 to 3, finetune 0.
int period(const char* note) {
    static const char* const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    static const int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    const int octave = note[2] - '1';
    for (int i = 0; i < 12; ++i) {
        if (names[i][0] == note[0] && names[i][1] == note[1]) return periods[octave * 12 + i];
    }
    return 0;
}

enum SampleNumber { lead_sample = 1, bass_sample, kick_sample, snare_sample, hat_sample };

struct Note {
    int row;
    const char* note;
};

void put(Pattern& pattern, int row, int channel, Cell cell) { pattern[row * channel_count + channel] = cell; }

// A melody, the roots of four chords of 16 rows each, and a drum groove.
Pattern make_pattern(const std::vector<Note>& melody, const char* const roots[4], bool busy_drums) {
    Pattern pattern(rows_per_pattern * channel_count);
    for (const Note& n : melody) {
        put(pattern, n.row, 0, {lead_sample, period(n.note), 0x4, 0x43});  // a little vibrato
    }
    for (int chord = 0; chord < 4; ++chord) {
        for (int beat = 0; beat < 4; ++beat) {
            const int row = chord * 16 + beat * 4;
            put(pattern, row, 1, {bass_sample, period(roots[chord]), 0, 0});
        }
    }
    for (int row = 0; row < rows_per_pattern; row += 4) {
        const bool backbeat = row % 8 == 4;
        put(pattern, row, 2, {backbeat ? snare_sample : kick_sample, period("C-2"), 0, 0});
        if (busy_drums && row % 16 == 8) put(pattern, row + 2, 2, {kick_sample, period("C-2"), 0xC, 40});
    }
    for (int row = 0; row < rows_per_pattern; row += 2) {
        put(pattern, row, 3, {hat_sample, period("C-3"), 0xC, row % 4 == 0 ? 32 : 18});
    }
    return pattern;
}

void put_be16(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_text(std::vector<uint8_t>& out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

std::vector<uint8_t> module_bytes(const std::vector<Sample>& samples, const std::vector<Pattern>& patterns,
                                  const std::vector<int>& order) {
    std::vector<uint8_t> out;
    put_text(out, "voskel demo", 20);
    for (int slot = 0; slot < sample_slots; ++slot) {
        if (slot < static_cast<int>(samples.size())) {
            const Sample& s = samples[static_cast<std::size_t>(slot)];
            put_text(out, s.name, 22);
            put_be16(out, static_cast<int>(s.data.size() / 2));
            out.push_back(0);  // finetune
            out.push_back(static_cast<uint8_t>(s.volume));
            put_be16(out, s.loop_start / 2);
            put_be16(out, s.loop_length > 0 ? s.loop_length / 2 : 1);
        } else {
            put_text(out, "", 22);
            put_be16(out, 0);
            out.push_back(0);
            out.push_back(0);
            put_be16(out, 0);
            put_be16(out, 1);
        }
    }
    out.push_back(static_cast<uint8_t>(order.size()));
    out.push_back(127);  // restart position, as ProTracker writes it
    for (int i = 0; i < 128; ++i) {
        out.push_back(i < static_cast<int>(order.size()) ? static_cast<uint8_t>(order[static_cast<std::size_t>(i)]) : 0);
    }
    put_text(out, "M.K.", 4);
    for (const Pattern& pattern : patterns) {
        for (const Cell& c : pattern) {
            out.push_back(static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
            out.push_back(static_cast<uint8_t>(c.period & 0xFF));
            out.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
            out.push_back(static_cast<uint8_t>(c.parameter));
        }
    }
    for (const Sample& s : samples) {
        for (int8_t v : s.data) out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

std::vector<uint8_t> demo_module() {
    const std::vector<Sample> samples = {lead(), bass(), kick(), snare(), hat()};
    const char* const roots[4] = {"C-2", "A-1", "F-1", "G-1"};

    Pattern first = make_pattern({{0, "C-3"}, {4, "E-3"}, {8, "G-3"}, {12, "E-3"}, {16, "A-3"}, {20, "G-3"},
                                  {24, "E-3"}, {28, "C-3"}, {32, "F-3"}, {36, "A-3"}, {40, "G-3"}, {44, "F-3"},
                                  {48, "G-3"}, {52, "B-2"}, {56, "D-3"}, {60, "G-3"}},
                                 roots, false);
    put(first, 0, 3, {hat_sample, period("C-3"), 0xF, 6});  // speed 6 at 125 BPM: 0.12 s a row

    Pattern second = make_pattern({{0, "C-3"}, {6, "D-3"}, {8, "E-3"}, {12, "G-3"}, {16, "A-3"}, {22, "G-3"},
                                   {24, "E-3"}, {28, "A-2"}, {32, "F-3"}, {38, "E-3"}, {40, "D-3"}, {44, "C-3"},
                                   {48, "D-3"}, {52, "G-2"}, {56, "C-3"}},
                                  roots, true);
    put(second, 63, 0, {0, 0, 0xE, 0xC3});  // the last notes stop shortly after the row starts
    put(second, 63, 1, {0, 0, 0xE, 0xC3});

    return module_bytes(samples, {first, second}, {0, 1});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_mod OUT.mod\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = demo_module();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
