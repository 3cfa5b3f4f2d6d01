// Writes the phone's eleven UI sounds into a folder as 16-bit mono 44,100 Hz
// RIFF/WAVE files. Every sound is synthesised here (tones, two-note chimes,
// sweeps and clicks); the same bytes come out on every run.
//
//   quorix_sound_generator <folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr double kAttackSeconds = 0.005;
constexpr double kReleaseSeconds = 0.012;
// Four sounds may play at once; each stays at or below half of full scale.
constexpr double kPeak = 0.45 * 32767.0;

struct Note {
  double start_hz;   // 0: silence
  double end_hz;     // equal to start_hz for a steady tone
  double seconds;
  double level;      // 0..1 of kPeak
  double decay;      // exponential decay over the note (0: none)
  double overtone;   // share of the second harmonic
  double beat_hz;    // a second tone this far above (0: none), for two-tone signals
};

Note Tone(double hz, double seconds, double level = 1.0, double decay = 2.0) {
  return {hz, hz, seconds, level, decay, 0.25, 0.0};
}
Note Sweep(double from_hz, double to_hz, double seconds, double level = 0.9) {
  return {from_hz, to_hz, seconds, level, 0.5, 0.15, 0.0};
}
Note Rest(double seconds) { return {0, 0, seconds, 0, 0, 0, 0}; }

void Render(const Note& note, std::vector<int16_t>& out) {
  const auto count = static_cast<size_t>(std::lround(note.seconds * kRate));
  if (note.start_hz <= 0) {
    out.insert(out.end(), count, 0);
    return;
  }
  const double attack = kAttackSeconds * kRate;
  const double release = std::max(kReleaseSeconds * kRate, 0.0);
  double phase = 0;
  double beat_phase = 0;
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(count);
    const double hz = note.start_hz + (note.end_hz - note.start_hz) * t;
    double envelope = std::exp(-note.decay * t);
    const double from_start = static_cast<double>(i);
    const double to_end = static_cast<double>(count - 1 - i);
    if (from_start < attack) envelope *= from_start / attack;
    if (to_end < release) envelope *= to_end / release;
    double wave = std::sin(phase) + note.overtone * std::sin(2 * phase);
    double norm = 1.0 + note.overtone;
    if (note.beat_hz > 0) {
      wave += std::sin(beat_phase);
      norm += 1.0;
      beat_phase += 2 * std::numbers::pi * (hz + note.beat_hz) / kRate;
    }
    phase += 2 * std::numbers::pi * hz / kRate;
    out.push_back(static_cast<int16_t>(std::lround(kPeak * note.level * envelope * wave / norm)));
  }
}

std::vector<int16_t> Render(const std::vector<Note>& notes) {
  std::vector<int16_t> samples;
  for (const Note& note : notes) Render(note, samples);
  return samples;
}

struct Sound {
  const char* name;
  std::vector<Note> notes;
};

std::vector<Sound> Sounds() {
  const double c5 = 523.25, e5 = 659.26, g5 = 783.99, a5 = 880.0, c6 = 1046.5, e6 = 1318.5;
  Note ringback{440.0, 440.0, 0.8, 0.8, 0.3, 0.0, 40.0};
  Note buzz{220.0, 220.0, 0.16, 0.9, 0.5, 0.5, 13.0};
  return {
      {"call_incoming", {Tone(e5, 0.18), Tone(a5, 0.18), Rest(0.1), Tone(e5, 0.18), Tone(a5, 0.18), Rest(0.1),
                         Tone(e5, 0.18), Tone(a5, 0.5, 1.0, 3.0)}},
      {"call_outgoing", {ringback}},
      {"call_connected", {Tone(c5, 0.12), Tone(g5, 0.28, 1.0, 3.0)}},
      {"call_ended", {Tone(g5, 0.12), Tone(c5, 0.32, 1.0, 3.0)}},
      {"message_received", {Tone(a5, 0.1, 0.9), Tone(e6, 0.26, 0.9, 4.0)}},
      {"message_sent", {Sweep(600, 1200, 0.15)}},
      {"mute_on", {Sweep(900, 500, 0.12)}},
      {"mute_off", {Sweep(500, 900, 0.12)}},
      {"error", {buzz, Rest(0.06), buzz}},
      {"ui_tap", {Tone(c6 * 1.7, 0.03, 0.7, 4.0)}},
      {"typing_key", {Tone(2500.0, 0.02, 0.5, 3.0)}},
  };
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples) {
  const auto data_size = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  PutU32(out, 4 + (8 + 16) + (8 + data_size));
  for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<uint8_t>(c));
  PutU32(out, 16);
  PutU16(out, 1);       // PCM
  PutU16(out, 1);       // mono
  PutU32(out, 44100);   // samples per second
  PutU32(out, 88200);   // bytes per second
  PutU16(out, 2);       // block align
  PutU16(out, 16);      // bits per sample
  for (char c : std::string("data")) out.push_back(static_cast<uint8_t>(c));
  PutU32(out, data_size);
  for (int16_t s : samples) PutU16(out, static_cast<uint16_t>(s));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), error.message().c_str());
    return 1;
  }
  for (const Sound& sound : Sounds()) {
    const std::vector<uint8_t> bytes = WaveFile(Render(sound.notes));
    const std::filesystem::path path = folder / (std::string(sound.name) + ".wav");
    const std::filesystem::path temp = folder / (std::string(sound.name) + ".wav.tmp");
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", temp.c_str());
        return 1;
      }
    }
    std::filesystem::rename(temp, path, error);
    if (error) {
      std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.message().c_str());
      return 1;
    }
  }
  return 0;
}
