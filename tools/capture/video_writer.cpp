#include "video_writer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include "yuv.h"

namespace {

constexpr int kAudioRate = 48000;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Why a file cannot be made at `path`, or "" when it looks possible. The
// real test is opening the partial file; this gives the clearer message for
// the common mistakes.
std::string CheckTarget(const std::string& path) {
  if (path.empty()) return "no output path given";
  if (path.back() == '/') return path + " names a folder, not a file";
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path + " is a folder";
  const std::string folder = FolderOf(path);
  if (stat(folder.c_str(), &info) != 0) {
    if (errno == ENOENT) return "the folder " + folder + " does not exist";
    return "cannot reach the folder " + folder + ": " + strerror(errno);
  }
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  return "";
}

}  // namespace

Mp4Writer::Mp4Writer() {}

Mp4Writer::~Mp4Writer() { Abandon(); }

bool Mp4Writer::Open(const std::string& path, const VideoSettings& settings, std::string* error) {
  Abandon();
  const std::string problem = CheckTarget(path);
  if (!problem.empty()) {
    *error = "cannot write " + path + ": " + problem;
    return false;
  }
  if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2) {
    *error = "the picture size " + std::to_string(settings.width) + "x" + std::to_string(settings.height) +
             " cannot be stored as yuv420p (even sizes only)";
    return false;
  }
  path_ = path;
  partialPath_ = path + ".partial";
  videoFrames_ = 0;
  audioQueued_ = 0;
  audioSent_ = 0;
  width_ = settings.width;
  height_ = settings.height;

  // Our own messages say what went wrong; FFmpeg's chatter would bury them.
  av_log_set_level(AV_LOG_ERROR);
  int rc = avformat_alloc_output_context2(&format_, nullptr, "mp4", partialPath_.c_str());
  if (rc < 0 || !format_) {
    *error = "the MP4 writer of FFmpeg is not available: " + AvError(rc);
    Close();
    return false;
  }
  packet_ = av_packet_alloc();
  if (!packet_ || !OpenVideo(settings, error) || !OpenAudio(settings, error)) {
    if (!packet_) *error = "out of memory";
    Close();
    return false;
  }
  rc = avio_open(&format_->pb, partialPath_.c_str(), AVIO_FLAG_WRITE);
  if (rc < 0) {
    *error = "cannot write " + path + ": " + AvError(rc);
    Close();
    return false;
  }
  fileOpen_ = true;
  partialOnDisk_ = true;
  AVDictionary* options = nullptr;
  // The index goes to the front so players can start before the end arrives.
  av_dict_set(&options, "movflags", "+faststart", 0);
  rc = avformat_write_header(format_, &options);
  av_dict_free(&options);
  if (rc < 0) {
    *error = "cannot start " + path + ": " + AvError(rc);
    Abandon();
    return false;
  }
  headerWritten_ = true;
  return true;
}

bool Mp4Writer::OpenVideo(const VideoSettings& settings, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(settings.videoEncoder);
  if (!codec || codec->id != AV_CODEC_ID_H264) {
    *error = std::string("the H.264 encoder ") + settings.videoEncoder +
             " is not available in this FFmpeg (Debian's libavcodec59 comes with libx264)";
    return false;
  }
  video_ = avcodec_alloc_context3(codec);
  if (!video_) {
    *error = "out of memory";
    return false;
  }
  video_->width = settings.width;
  video_->height = settings.height;
  video_->pix_fmt = AV_PIX_FMT_YUV420P;
  video_->time_base = AVRational{static_cast<int>(settings.rate.den), static_cast<int>(settings.rate.num)};
  video_->framerate = AVRational{static_cast<int>(settings.rate.num), static_cast<int>(settings.rate.den)};
  video_->thread_count = settings.threads;
  video_->color_range = AVCOL_RANGE_MPEG;
  video_->colorspace = AVCOL_SPC_BT709;
  video_->color_primaries = AVCOL_PRI_BT709;
  video_->color_trc = AVCOL_TRC_BT709;
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", settings.preset, 0);
  av_dict_set_int(&options, "crf", settings.crf, 0);
  const int rc = avcodec_open2(video_, codec, &options);
  av_dict_free(&options);
  if (rc < 0) {
    *error = "cannot start the H.264 encoder: " + AvError(rc);
    return false;
  }
  videoStream_ = avformat_new_stream(format_, nullptr);
  if (!videoStream_ || avcodec_parameters_from_context(videoStream_->codecpar, video_) < 0) {
    *error = "cannot add the video stream";
    return false;
  }
  videoStream_->time_base = video_->time_base;
  videoStream_->avg_frame_rate = video_->framerate;
  videoStream_->r_frame_rate = video_->framerate;

  videoFrame_ = av_frame_alloc();
  if (!videoFrame_) {
    *error = "out of memory";
    return false;
  }
  videoFrame_->format = AV_PIX_FMT_YUV420P;
  videoFrame_->width = settings.width;
  videoFrame_->height = settings.height;
  if (av_frame_get_buffer(videoFrame_, 0) < 0) {
    *error = "out of memory for a video frame";
    return false;
  }
  return true;
}

bool Mp4Writer::OpenAudio(const VideoSettings& settings, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec) {
    *error = "no AAC encoder is available in this FFmpeg";
    return false;
  }
  audio_ = avcodec_alloc_context3(codec);
  if (!audio_) {
    *error = "out of memory";
    return false;
  }
  audio_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  audio_->sample_rate = kAudioRate;
  const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&audio_->ch_layout, &stereo);
  audio_->bit_rate = settings.audioBitRate;
  audio_->time_base = AVRational{1, kAudioRate};
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(audio_, codec, nullptr);
  if (rc < 0) {
    *error = "cannot start the AAC encoder: " + AvError(rc);
    return false;
  }
  audioStream_ = avformat_new_stream(format_, nullptr);
  if (!audioStream_ || avcodec_parameters_from_context(audioStream_->codecpar, audio_) < 0) {
    *error = "cannot add the audio stream";
    return false;
  }
  audioStream_->time_base = audio_->time_base;
  audioFrameSize_ = audio_->frame_size > 0 ? static_cast<size_t>(audio_->frame_size) : 1024;
  audioFrame_ = av_frame_alloc();
  if (!audioFrame_) {
    *error = "out of memory";
    return false;
  }
  audioFrame_->format = AV_SAMPLE_FMT_FLTP;
  audioFrame_->sample_rate = kAudioRate;
  audioFrame_->nb_samples = static_cast<int>(audioFrameSize_);
  av_channel_layout_copy(&audioFrame_->ch_layout, &stereo);
  if (av_frame_get_buffer(audioFrame_, 0) < 0) {
    *error = "out of memory for an audio frame";
    return false;
  }
  audioHold_.reserve(audioFrameSize_ * 2 * 4);
  return true;
}

bool Mp4Writer::Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error) {
  int rc = avcodec_send_frame(codec, frame);
  if (rc < 0) {
    *error = std::string("the ") + codec->codec->name + " encoder refused a frame: " + AvError(rc);
    return false;
  }
  for (;;) {
    rc = avcodec_receive_packet(codec, packet_);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      *error = std::string("the ") + codec->codec->name + " encoder failed: " + AvError(rc);
      return false;
    }
    // Every video frame lasts one frame interval, the last one too.
    if (codec == video_ && packet_->duration == 0) packet_->duration = 1;
    av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
    packet_->stream_index = stream->index;
    rc = av_interleaved_write_frame(format_, packet_);
    if (rc < 0) {
      *error = "cannot write " + path_ + ": " + AvError(rc);
      return false;
    }
  }
}

bool Mp4Writer::AddVideoFrame(const uint32_t* pixels, size_t pitchPixels, std::string* error) {
  if (!headerWritten_) {
    *error = "the video file is not open";
    return false;
  }
  if (av_frame_make_writable(videoFrame_) < 0) {
    *error = "out of memory for a video frame";
    return false;
  }
  const YuvPlanes planes = {videoFrame_->data[0],     videoFrame_->data[1],     videoFrame_->data[2],
                            videoFrame_->linesize[0], videoFrame_->linesize[1], videoFrame_->linesize[2]};
  ConvertToYuv420(pixels, pitchPixels, width_, height_, planes);
  videoFrame_->pts = videoFrames_;
  if (!Encode(video_, videoStream_, videoFrame_, error)) return false;
  ++videoFrames_;
  return true;
}

bool Mp4Writer::SendAudioFrame(size_t frames, std::string* error) {
  if (av_frame_make_writable(audioFrame_) < 0) {
    *error = "out of memory for an audio frame";
    return false;
  }
  audioFrame_->nb_samples = static_cast<int>(frames);
  float* left = reinterpret_cast<float*>(audioFrame_->data[0]);
  float* right = reinterpret_cast<float*>(audioFrame_->data[1]);
  for (size_t i = 0; i < frames; ++i) {
    left[i] = audioHold_[2 * i];
    right[i] = audioHold_[2 * i + 1];
  }
  audioFrame_->pts = audioSent_;
  audioSent_ += static_cast<int64_t>(frames);
  audioHold_.erase(audioHold_.begin(), audioHold_.begin() + static_cast<ptrdiff_t>(frames * 2));
  return Encode(audio_, audioStream_, audioFrame_, error);
}

bool Mp4Writer::AddAudio(const float* samples, size_t frames, std::string* error) {
  if (!headerWritten_) {
    *error = "the video file is not open";
    return false;
  }
  audioHold_.insert(audioHold_.end(), samples, samples + frames * 2);
  audioQueued_ += static_cast<int64_t>(frames);
  while (audioHold_.size() >= audioFrameSize_ * 2) {
    if (!SendAudioFrame(audioFrameSize_, error)) return false;
  }
  return true;
}

bool Mp4Writer::Finish(std::string* error) {
  if (!headerWritten_) {
    *error = "the video file is not open";
    return false;
  }
  bool ok = true;
  if (!audioHold_.empty()) {
    // A short last frame where the encoder takes one; otherwise padded with
    // silence to a whole frame.
    size_t send = audioHold_.size() / 2;
    if (!(audio_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
      audioHold_.resize(audioFrameSize_ * 2, 0.0f);
      send = audioFrameSize_;
    }
    ok = SendAudioFrame(send, error);
  }
  ok = ok && Encode(video_, videoStream_, nullptr, error) && Encode(audio_, audioStream_, nullptr, error);
  if (ok) {
    const int rc = av_write_trailer(format_);
    if (rc < 0) {
      *error = "cannot finish " + path_ + ": " + AvError(rc);
      ok = false;
    }
  }
  if (ok) {
    const int rc = avio_closep(&format_->pb);
    fileOpen_ = false;
    if (rc < 0) {
      *error = "cannot finish " + path_ + ": " + AvError(rc);
      ok = false;
    }
  }
  if (ok && rename(partialPath_.c_str(), path_.c_str()) != 0) {
    *error = "cannot move " + partialPath_ + " to " + path_ + ": " + strerror(errno);
    ok = false;
  }
  if (ok) partialOnDisk_ = false;
  if (!ok) {
    Abandon();
    return false;
  }
  headerWritten_ = false;
  Close();
  return true;
}

void Mp4Writer::Abandon() {
  Close();
  // Also when the file was closed but could not be moved into place.
  if (partialOnDisk_) unlink(partialPath_.c_str());
  partialOnDisk_ = false;
}

void Mp4Writer::Close() {
  if (format_ && fileOpen_) avio_closep(&format_->pb);
  fileOpen_ = false;
  headerWritten_ = false;
  avcodec_free_context(&video_);
  avcodec_free_context(&audio_);
  av_frame_free(&videoFrame_);
  av_frame_free(&audioFrame_);
  av_packet_free(&packet_);
  avformat_free_context(format_);
  format_ = nullptr;
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  audioHold_.clear();
}
