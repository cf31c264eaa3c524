// The WAV reader: the formats it plays, and every way a file can be cut
// short or lie about itself.
#include "winmm/wav.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <ostream>
#include <string>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

using wavtest::Bytes;
using wavtest::Chunk;
using wavtest::ExtensibleBody;
using wavtest::FmtBody;
using wavtest::Riff;
using wavtest::ToneSamples;

namespace {

// Parses a copy held in a block of exactly its size, so a read past the end
// is a read past the allocation (caught by the sanitizers).
bool ParseExact(const Bytes& bytes, WavSound* sound, std::string* reason) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) memcpy(copy.get(), bytes.data(), bytes.size());
  char text[kWavReasonSize];
  const bool ok = ParseWav(bytes.empty() ? nullptr : copy.get(), bytes.size(), sound, text);
  *reason = text;
  if (ok) {
    // Hand back samples that outlive the copy.
    EXPECT_GE(sound->samples, copy.get());
    EXPECT_LE(sound->samples + sound->sampleBytes, copy.get() + bytes.size());
    sound->samples = bytes.data() + (sound->samples - copy.get());
  }
  return ok;
}

struct GoodCase {
  const char* name;
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  bool extensible;
  bool fmt18;
};

// Test names show the case's name rather than its bytes.
void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.name; }

class WavGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(WavGood, ReadsFormatAndSamples) {
  const GoodCase& c = GetParam();
  const size_t frames = 301;
  const Bytes samples = ToneSamples(c.channels, c.rate, c.bits, frames);
  const Bytes fmt = c.extensible ? ExtensibleBody(c.channels, c.rate, c.bits, c.bits, wavtest::PcmGuid())
                                 : FmtBody(1, c.channels, c.rate, c.bits, c.fmt18);
  const Bytes file = Riff({Chunk("fmt ", fmt), Chunk("data", samples)});
  WavSound sound;
  std::string reason;
  ASSERT_TRUE(ParseExact(file, &sound, &reason)) << reason;
  EXPECT_EQ(sound.formatTag, c.extensible ? 0xFFFE : 1);
  EXPECT_EQ(sound.channels, c.channels);
  EXPECT_EQ(sound.bitsPerSample, c.bits);
  EXPECT_EQ(sound.sampleRate, c.rate);
  EXPECT_EQ(sound.blockAlign, c.channels * c.bits / 8);
  EXPECT_EQ(sound.frameCount, frames);
  ASSERT_EQ(sound.sampleBytes, samples.size());
  EXPECT_EQ(0, memcmp(sound.samples, samples.data(), samples.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WavGood,
    ::testing::Values(GoodCase{"u8_mono_8000", 1, 8000, 8, false, false},
                      GoodCase{"u8_stereo_22050", 2, 22050, 8, false, false},
                      GoodCase{"s16_mono_11025", 1, 11025, 16, false, false},
                      GoodCase{"s16_stereo_44100", 2, 44100, 16, false, false},
                      GoodCase{"s16_stereo_48000_fmt18", 2, 48000, 16, false, true},
                      GoodCase{"s16_mono_96000", 1, 96000, 16, false, false},
                      GoodCase{"ext_s16_stereo_44100", 2, 44100, 16, true, false},
                      GoodCase{"ext_u8_mono_16000", 1, 16000, 8, true, false}),
    [](const ::testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

TEST(Wav, SkipsUnknownChunksWithTheirPadding) {
  const Bytes samples = ToneSamples(1, 8000, 16, 50);
  // An odd-sized LIST chunk is followed by a pad byte; a fact chunk and an
  // unknown one come between fmt and data.
  const Bytes file = Riff({Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'}), Chunk("fmt ", FmtBody(1, 1, 8000, 16)),
                           Chunk("fact", Bytes{50, 0, 0, 0}), Chunk("junk", Bytes(7, 0xAB)),
                           Chunk("data", samples), Chunk("LIST", Bytes(3, 'z'))});
  WavSound sound;
  std::string reason;
  ASSERT_TRUE(ParseExact(file, &sound, &reason)) << reason;
  EXPECT_EQ(sound.frameCount, 50u);
  EXPECT_EQ(0, memcmp(sound.samples, samples.data(), samples.size()));
}

TEST(Wav, DataBeforeFmtAndExtraFmtBytesAreAccepted) {
  const Bytes samples = ToneSamples(2, 22050, 8, 10);
  Bytes fmt = FmtBody(1, 2, 22050, 8);
  fmt.insert(fmt.end(), {0, 0, 1, 2});  // a longer PCM header than usual
  const Bytes file = Riff({Chunk("data", samples), Chunk("fmt ", fmt)});
  WavSound sound;
  std::string reason;
  ASSERT_TRUE(ParseExact(file, &sound, &reason)) << reason;
  EXPECT_EQ(sound.frameCount, 10u);
}

TEST(Wav, DropsATrailingPartialFrame) {
  Bytes samples = ToneSamples(2, 8000, 16, 3);
  samples.push_back(0x11);  // one byte of a fourth frame
  samples.push_back(0x22);
  samples.push_back(0x33);
  const Bytes file = Riff({Chunk("fmt ", FmtBody(1, 2, 8000, 16)), Chunk("data", samples)});
  WavSound sound;
  std::string reason;
  ASSERT_TRUE(ParseExact(file, &sound, &reason)) << reason;
  EXPECT_EQ(sound.frameCount, 3u);
  EXPECT_EQ(sound.sampleBytes, 12u);
}

TEST(Wav, EmptyDataIsAValidSilentSound) {
  const Bytes file = Riff({Chunk("fmt ", FmtBody(1, 1, 44100, 16)), Chunk("data", Bytes())});
  WavSound sound;
  std::string reason;
  ASSERT_TRUE(ParseExact(file, &sound, &reason)) << reason;
  EXPECT_EQ(sound.frameCount, 0u);
}

TEST(Wav, RiffSizeLargerOrSmallerThanTheFile) {
  const Bytes samples = ToneSamples(1, 8000, 8, 20);
  // A header that claims more than the file holds: the chunks are complete,
  // so the file plays.
  const Bytes longer = Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("data", samples)}, 100000);
  // Trailing bytes after the declared end are not part of the file.
  Bytes shorter = Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("data", samples)});
  shorter.insert(shorter.end(), {'g', 'a', 'r', 'b', 0xFF, 0xFF, 0xFF, 0xFF});
  for (const Bytes* file : std::initializer_list<const Bytes*>{&longer, &shorter}) {
    WavSound sound;
    std::string reason;
    ASSERT_TRUE(ParseExact(*file, &sound, &reason)) << reason;
    EXPECT_EQ(sound.frameCount, 20u);
  }
}

// Every prefix of a file is either rejected with a reason or, where it
// still holds every chunk whole, read without touching a byte beyond it.
TEST(Wav, EveryTruncationIsRejectedOrComplete) {
  const Bytes samples = ToneSamples(2, 8000, 16, 40);
  const Bytes file = Riff({Chunk("fmt ", ExtensibleBody(2, 8000, 16, 16, wavtest::PcmGuid())),
                           Chunk("LIST", Bytes(9, 'i')), Chunk("data", samples), Chunk("id3 ", Bytes(6, 1))});
  size_t accepted = 0;
  for (size_t length = 0; length < file.size(); ++length) {
    const Bytes prefix(file.begin(), file.begin() + static_cast<long>(length));
    WavSound sound;
    std::string reason;
    if (ParseExact(prefix, &sound, &reason)) {
      ++accepted;
      EXPECT_EQ(sound.frameCount, 40u) << "length " << length;
    } else {
      EXPECT_FALSE(reason.empty()) << "length " << length;
    }
  }
  // Exactly the prefixes that hold the data chunk whole are accepted; the
  // chunk after it may be cut anywhere.
  const size_t dataEnd = file.size() - 14;
  EXPECT_EQ(accepted, file.size() - dataEnd);
}

struct BadCase {
  const char* name;
  Bytes file;
  const char* reason;  // a piece of the expected reason
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class WavBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(WavBad, IsRejectedWithAReason) {
  WavSound sound;
  std::string reason;
  EXPECT_FALSE(ParseExact(GetParam().file, &sound, &reason));
  EXPECT_NE(reason.find(GetParam().reason), std::string::npos) << "reason: " << reason;
  EXPECT_EQ(sound.samples, nullptr);
}

Bytes WithFmt(const Bytes& fmt) { return Riff({Chunk("fmt ", fmt), Chunk("data", Bytes(64, 0x80))}); }

Bytes Patched(Bytes bytes, size_t offset, std::initializer_list<uint8_t> values) {
  for (uint8_t v : values) bytes[offset++] = v;
  return bytes;
}

const Bytes kGood16 = WithFmt(FmtBody(1, 2, 44100, 16));

INSTANTIATE_TEST_SUITE_P(
    Files, WavBad,
    ::testing::Values(
        BadCase{"empty", Bytes(), "too short"},
        BadCase{"header_only_part", Bytes{'R', 'I', 'F', 'F', 4, 0}, "too short"},
        BadCase{"not_riff", Patched(kGood16, 0, {'R', 'I', 'F', 'X'}), "not a RIFF"},
        BadCase{"not_wave", Patched(kGood16, 8, {'A', 'V', 'I', ' '}), "other than WAVE"},
        BadCase{"no_fmt", Riff({Chunk("data", Bytes(8, 0))}), "no fmt"},
        BadCase{"no_data", Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8))}), "no data"},
        BadCase{"no_chunks", Riff({}), "no fmt"},
        BadCase{"fmt_too_short", WithFmt(Bytes(14, 1)), "fmt chunk too short"},
        BadCase{"float", WithFmt(FmtBody(3, 2, 44100, 32)), "format tag 0x0003"},
        BadCase{"adpcm", WithFmt(FmtBody(2, 1, 22050, 4)), "format tag 0x0002"},
        BadCase{"mp3", WithFmt(FmtBody(0x55, 2, 44100, 16)), "format tag 0x0055"},
        BadCase{"ext_float", WithFmt(ExtensibleBody(2, 44100, 32, 32, wavtest::FloatGuid())), "subformat"},
        BadCase{"ext_short", WithFmt(FmtBody(0xFFFE, 2, 44100, 16, true)), "extensible fmt chunk too short"},
        BadCase{"ext_valid_bits", WithFmt(ExtensibleBody(1, 8000, 16, 20, wavtest::PcmGuid())), "valid bits"},
        BadCase{"ext_cbsize", WithFmt(Patched(ExtensibleBody(1, 8000, 16, 16, wavtest::PcmGuid()), 16, {10, 0})),
                "extra bytes"},
        BadCase{"no_channels", WithFmt(FmtBody(1, 0, 8000, 16)), "channel count 0"},
        BadCase{"three_channels", WithFmt(FmtBody(1, 3, 8000, 16)), "channel count 3"},
        BadCase{"bits24", WithFmt(FmtBody(1, 2, 48000, 24)), "24 bits"},
        BadCase{"bits12", WithFmt(Patched(FmtBody(1, 1, 8000, 16), 14, {12, 0})), "12 bits"},
        BadCase{"rate_zero", WithFmt(FmtBody(1, 1, 0, 16)), "sample rate 0"},
        BadCase{"rate_huge", WithFmt(FmtBody(1, 1, 4000000, 16)), "sample rate 4000000"},
        BadCase{"block_align", WithFmt(Patched(FmtBody(1, 2, 8000, 16), 12, {2, 0})), "block align 2"},
        BadCase{"data_past_end", Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("data", Bytes(10, 0), 11)}),
                "'data' chunk of 11 bytes runs past"},
        // Sizes near 2^32 must not wrap an offset back into the file.
        BadCase{"chunk_size_max", Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("LIST", Bytes(4, 0), 0xFFFFFFFF),
                                        Chunk("data", Bytes(8, 0))}),
                "runs past"},
        BadCase{"chunk_size_wrap", Riff({Chunk("junk", Bytes(2, 0), 0xFFFFFFF8), Chunk("fmt ", FmtBody(1, 1, 8000, 8)),
                                         Chunk("data", Bytes(8, 0))}),
                "runs past"},
        BadCase{"fmt_past_end", Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8), 1000)}), "'fmt ' chunk"},
        BadCase{"binary_chunk_id", Riff({Chunk("\x01\x02\x03\x04", Bytes(2, 0), 500)}), "'\?\?\?\?' chunk"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(Wav, NullReasonIsAllowed) {
  WavSound sound;
  const Bytes file = Bytes{'n', 'o', 'p', 'e'};
  EXPECT_FALSE(ParseWav(file.data(), file.size(), &sound, nullptr));
}

class WavFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testdir::Make("wavfile");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { testdir::Remove(dir_); }
  std::string dir_;
};

TEST_F(WavFile, ReadsAFileAndRejectsWhatIsNotOne) {
  const Bytes good = wavtest::ToneWav(2, 22050, 16, 100);
  ASSERT_TRUE(testdir::WriteFile(dir_ + "/good.wav", good));
  ASSERT_TRUE(testdir::WriteFile(dir_ + "/text.wav", Bytes{'h', 'e', 'l', 'l', 'o'}));
  ASSERT_TRUE(testdir::MakeFolders(dir_ + "/folder.wav"));

  std::vector<uint8_t> bytes;
  WavSound sound;
  char reason[kWavReasonSize];
  ASSERT_TRUE(ReadWavFile((dir_ + "/good.wav").c_str(), &bytes, &sound, reason)) << reason;
  EXPECT_EQ(sound.frameCount, 2205u);
  EXPECT_EQ(bytes.size(), good.size());

  const struct {
    const char* file;
    const char* reason;
  } kBad[] = {{"/missing.wav", "cannot open"}, {"/folder.wav", "not a regular file"}, {"/text.wav", "too short"}};
  for (const auto& bad : kBad) {
    EXPECT_FALSE(ReadWavFile((dir_ + bad.file).c_str(), &bytes, &sound, reason)) << bad.file;
    EXPECT_NE(strstr(reason, bad.reason), nullptr) << bad.file << ": " << reason;
  }
}

}  // namespace
