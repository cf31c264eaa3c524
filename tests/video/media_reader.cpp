#include "media_reader.h"

#include <math.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

void TakeDecoded(AVFrame* frame, MediaInfo* info) {
  const int channels = frame->ch_layout.nb_channels;
  for (int i = 0; i < frame->nb_samples; ++i) {
    for (int c = 0; c < 2; ++c) {
      const int source = c < channels ? c : 0;
      float value = 0.0f;
      if (frame->format == AV_SAMPLE_FMT_FLTP)
        value = reinterpret_cast<const float*>(frame->extended_data[source])[i];
      else if (frame->format == AV_SAMPLE_FMT_FLT)
        value = reinterpret_cast<const float*>(frame->extended_data[0])[i * channels + source];
      info->samples.push_back(value);
    }
  }
}

// Opens a decoder for stream `index`, or returns null.
AVCodecContext* OpenDecoder(AVFormatContext* format, int index) {
  const AVCodecParameters* par = format->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!decoder || avcodec_parameters_to_context(decoder, par) < 0 || avcodec_open2(decoder, codec, nullptr) < 0) {
    avcodec_free_context(&decoder);
    return nullptr;
  }
  decoder->pkt_timebase = format->streams[index]->time_base;
  return decoder;
}

}  // namespace

MediaInfo ReadMedia(const std::string& path, bool decode) {
  MediaInfo info;
  AVFormatContext* format = nullptr;
  int rc = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
  if (rc < 0) {
    info.error = "cannot open " + path + ": " + AvError(rc);
    return info;
  }
  rc = avformat_find_stream_info(format, nullptr);
  if (rc < 0) {
    info.error = "cannot read the streams of " + path + ": " + AvError(rc);
    avformat_close_input(&format);
    return info;
  }
  info.formatName = format->iformat->name;
  int videoIndex = -1;
  int audioIndex = -1;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    const AVCodecParameters* par = stream->codecpar;
    const double base = av_q2d(stream->time_base);
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
      ++info.videoStreams;
      if (videoIndex >= 0) continue;
      videoIndex = static_cast<int>(i);
      info.videoCodec = avcodec_get_name(par->codec_id);
      info.width = par->width;
      info.height = par->height;
      const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
      info.pixelFormat = pix ? pix : "";
      info.frameRateNum = stream->avg_frame_rate.num;
      info.frameRateDen = stream->avg_frame_rate.den;
      info.videoStart = stream->start_time == AV_NOPTS_VALUE ? 0.0 : stream->start_time * base;
      info.videoDuration = stream->duration == AV_NOPTS_VALUE ? 0.0 : stream->duration * base;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++info.audioStreams;
      if (audioIndex >= 0) continue;
      audioIndex = static_cast<int>(i);
      info.audioCodec = avcodec_get_name(par->codec_id);
      info.sampleRate = par->sample_rate;
      info.channels = par->ch_layout.nb_channels;
      info.audioStart = stream->start_time == AV_NOPTS_VALUE ? 0.0 : stream->start_time * base;
    }
  }

  AVCodecContext* decoder = nullptr;
  AVCodecContext* pictures = nullptr;
  if (decode && audioIndex >= 0) {
    decoder = OpenDecoder(format, audioIndex);
    if (!decoder) info.error = "cannot decode the sound of " + path;
  }
  if (decode && videoIndex >= 0) {
    pictures = OpenDecoder(format, videoIndex);
    if (!pictures) info.error = "cannot decode the pictures of " + path;
  }
  if (!info.error.empty()) {
    avcodec_free_context(&decoder);
    avcodec_free_context(&pictures);
    avformat_close_input(&format);
    return info;
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  bool firstFrame = true;
  auto drain = [&]() {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      if (firstFrame && frame->pts != AV_NOPTS_VALUE) {
        info.firstSampleTime = frame->pts * av_q2d(format->streams[audioIndex]->time_base);
      }
      firstFrame = false;
      TakeDecoded(frame, &info);
      av_frame_unref(frame);
    }
  };
  auto takePicture = [&]() {
    while (avcodec_receive_frame(pictures, frame) == 0) {
      if (info.centreY < 0 && frame->format == AV_PIX_FMT_YUV420P) {
        const int x = frame->width / 2;
        const int y = frame->height / 2;
        info.centreY = frame->data[0][y * frame->linesize[0] + x];
        info.centreU = frame->data[1][(y / 2) * frame->linesize[1] + x / 2];
        info.centreV = frame->data[2][(y / 2) * frame->linesize[2] + x / 2];
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == videoIndex) {
      ++info.videoPackets;
      if (pictures && info.centreY < 0 && avcodec_send_packet(pictures, packet) == 0) takePicture();
    }
    if (decoder && packet->stream_index == audioIndex && avcodec_send_packet(decoder, packet) == 0) drain();
    av_packet_unref(packet);
  }
  if (decoder && avcodec_send_packet(decoder, nullptr) == 0) drain();
  if (pictures && info.centreY < 0 && avcodec_send_packet(pictures, nullptr) == 0) takePicture();
  avcodec_free_context(&pictures);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return info;
}

int64_t FirstLoudFrame(const std::vector<float>& samples, int64_t from, float threshold) {
  for (size_t i = static_cast<size_t>(from < 0 ? 0 : from) * 2; i + 1 < samples.size(); i += 2) {
    if (fabsf(samples[i]) > threshold || fabsf(samples[i + 1]) > threshold) return static_cast<int64_t>(i / 2);
  }
  return -1;
}
