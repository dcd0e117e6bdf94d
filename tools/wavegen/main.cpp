// Writes the six notification sounds of the watch window as 16-bit mono wave files, so the
// program carries sounds of its own making. Usage: quillory-wavegen OUTPUT_FOLDER
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

// One tone of a sound: frequency (0 for silence), length, loudness 0..1, overtone share.
struct Tone {
    double hertz;
    double seconds;
    double volume;
    double overtone;
};

struct Sound {
    const char* name;
    std::vector<Tone> tones;
};

void AppendTone(std::vector<int16_t>& samples, const Tone& tone) {
    const int count = static_cast<int>(tone.seconds * kRate);
    // Short fades at both ends keep the sound free of clicks.
    const int fade = std::min(count / 4, kRate / 200);
    for (int i = 0; i < count; ++i) {
        double envelope = 1.0;
        if (i < fade)
            envelope = static_cast<double>(i) / fade;
        else if (i >= count - fade)
            envelope = static_cast<double>(count - i) / fade;
        const double t = static_cast<double>(i) / kRate;
        const double wave = std::sin(2 * kPi * tone.hertz * t) * (1 - tone.overtone) +
                            std::sin(4 * kPi * tone.hertz * t) * tone.overtone;
        samples.push_back(static_cast<int16_t>(wave * envelope * tone.volume * 30000));
    }
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out;
    for (char c : std::string("RIFF"))
        out.push_back(static_cast<uint8_t>(c));
    PutLe(out, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt "))
        out.push_back(static_cast<uint8_t>(c));
    PutLe(out, 16, 4);        // format chunk size
    PutLe(out, 1, 2);         // PCM
    PutLe(out, 1, 2);         // mono
    PutLe(out, kRate, 4);     // sample rate
    PutLe(out, kRate * 2, 4); // byte rate
    PutLe(out, 2, 2);         // block align
    PutLe(out, 16, 2);        // bits per sample
    for (char c : std::string("data"))
        out.push_back(static_cast<uint8_t>(c));
    PutLe(out, dataBytes, 4);
    for (int16_t s : samples)
        PutLe(out, static_cast<uint16_t>(s), 2);
    return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quillory-wavegen OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    // Each state keeps a sound of its own shape, so they are told apart without looking.
    const std::vector<Sound> sounds = {
        {"135", {{523, 0.12, 0.8, 0.1}, {784, 0.18, 0.8, 0.1}}}, // creating: rising pair
        {"137", {{440, 0.25, 0.7, 0.3}}},                        // waiting: one soft beep
        {"138",
         {{523, 0.1, 0.8, 0},
          {659, 0.1, 0.8, 0},
          {784, 0.16, 0.8, 0}}}, // setting up: ascending three
        {"139",
         {{784, 0.08, 0.9, 0.2},
          {0, 0.04, 0, 0},
          {784, 0.08, 0.9, 0.2},
          {1047, 0.25, 0.9, 0.2}}}, // playing: fanfare
        {"140",
         {{784, 0.12, 0.7, 0.1},
          {587, 0.12, 0.7, 0.1},
          {392, 0.22, 0.7, 0.1}}}, // debriefing: falling
        {"161",
         {{1320, 0.06, 1, 0.4},
          {990, 0.06, 1, 0.4},
          {1320, 0.06, 1, 0.4},
          {990, 0.06, 1, 0.4},
          {1320, 0.06, 1, 0.4},
          {990, 0.06, 1, 0.4}}}, // alarm: ringing bell
    };
    for (const Sound& sound : sounds) {
        std::vector<int16_t> samples;
        for (const Tone& tone : sound.tones)
            AppendTone(samples, tone);
        const std::string path = std::string(argv[1]) + "/" + sound.name + ".wav";
        if (!WriteFile(path, WaveFile(samples))) {
            std::fprintf(stderr, "quillory-wavegen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
