// Which of the two device pointers each device call goes through:
// g_pd3dDevice owns the device and is cleared when it is released, g_pDevice
// is a copy that is never cleared. Both hold the same device, so only two
// stand-ins that forward to it and note which of them was called can tell
// the two paths apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_loop.h"
#include "gfx/device.h"
#include "show/frame.h"
#include "show/loading.h"
#include "support/show_start.h"
#include "support/temp_dir.h"

namespace {

enum class Via { kOwning, kCopy };

enum class Call {
  kClear,
  kBeginScene,
  kEndScene,
  kPresent,
  kReset,
  kTestCooperativeLevel,
  kCreateTexture,
  kCreatePixelShader,
  kSetRenderState,
  kSetSamplerState,
  kSetTextureStageState,
  kSetTexture,
  kSetPixelShader,
  kSetVertexShader,
  kSetPixelShaderConstantF,
  kSetTransform,
  kSetViewport,
  kSetFVF,
  kDrawPrimitiveUP,
};

const char* Name(Call call) {
  static const char* const kNames[] = {"Clear",
                                       "BeginScene",
                                       "EndScene",
                                       "Present",
                                       "Reset",
                                       "TestCooperativeLevel",
                                       "CreateTexture",
                                       "CreatePixelShader",
                                       "SetRenderState",
                                       "SetSamplerState",
                                       "SetTextureStageState",
                                       "SetTexture",
                                       "SetPixelShader",
                                       "SetVertexShader",
                                       "SetPixelShaderConstantF",
                                       "SetTransform",
                                       "SetViewport",
                                       "SetFVF",
                                       "DrawPrimitiveUP"};
  return kNames[static_cast<int>(call)];
}

struct Entry {
  Via via;
  Call call;
  DWORD state;  // SetRenderState: the state; otherwise 0
  DWORD value;  // SetRenderState: the value; otherwise 0
};

std::vector<Entry> g_Log;

std::string Describe(const Entry& e) {
  std::string text = std::string(Name(e.call)) + " through " +
                     (e.via == Via::kOwning ? "g_pd3dDevice" : "g_pDevice");
  if (e.call == Call::kSetRenderState)
    text += " (" + std::to_string(e.state) + " = " + std::to_string(e.value) + ")";
  return text;
}

// Forwards every call to the device and notes the ones that change it.
class Recorder final : public IDirect3DDevice9 {
 public:
  explicit Recorder(Via via) : via_(via) {}
  void Attach(IDirect3DDevice9* device) { device_ = device; }

  ULONG AddRef() override { return device_->AddRef(); }
  ULONG Release() override { return device_->Release(); }
  HRESULT TestCooperativeLevel() override {
    Note(Call::kTestCooperativeLevel);
    return device_->TestCooperativeLevel();
  }
  HRESULT GetDirect3D(IDirect3D9** d3d) override { return device_->GetDirect3D(d3d); }
  HRESULT Reset(D3DPRESENT_PARAMETERS* params) override {
    Note(Call::kReset);
    return device_->Reset(params);
  }
  HRESULT Present(const RECT* source, const RECT* dest, HWND window,
                  const RGNDATA* dirty) override {
    Note(Call::kPresent);
    return device_->Present(source, dest, window, dirty);
  }
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override {
    Note(Call::kCreateTexture);
    return device_->CreateTexture(width, height, levels, usage, format, pool, texture, shared);
  }
  HRESULT BeginScene() override {
    Note(Call::kBeginScene);
    return device_->BeginScene();
  }
  HRESULT EndScene() override {
    Note(Call::kEndScene);
    return device_->EndScene();
  }
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override {
    Note(Call::kClear);
    return device_->Clear(count, rects, flags, color, z, stencil);
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
    Note(Call::kSetTransform);
    return device_->SetTransform(state, matrix);
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
    return device_->GetTransform(state, matrix);
  }
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override {
    Note(Call::kSetViewport);
    return device_->SetViewport(viewport);
  }
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override { return device_->GetViewport(viewport); }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    Note(Call::kSetRenderState, state, value);
    return device_->SetRenderState(state, value);
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
    return device_->GetRenderState(state, value);
  }
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override {
    return device_->GetTexture(stage, texture);
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
    Note(Call::kSetTexture);
    return device_->SetTexture(stage, texture);
  }
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
    return device_->GetTextureStageState(stage, type, value);
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    Note(Call::kSetTextureStageState);
    return device_->SetTextureStageState(stage, type, value);
  }
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override {
    return device_->GetSamplerState(sampler, type, value);
  }
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
    Note(Call::kSetSamplerState);
    return device_->SetSamplerState(sampler, type, value);
  }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* vertices,
                          UINT stride) override {
    Note(Call::kDrawPrimitiveUP);
    return device_->DrawPrimitiveUP(type, count, vertices, stride);
  }
  HRESULT SetFVF(DWORD fvf) override {
    Note(Call::kSetFVF);
    return device_->SetFVF(fvf);
  }
  HRESULT GetFVF(DWORD* fvf) override { return device_->GetFVF(fvf); }
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override {
    Note(Call::kSetVertexShader);
    return device_->SetVertexShader(shader);
  }
  HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override {
    return device_->GetVertexShader(shader);
  }
  HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override {
    Note(Call::kCreatePixelShader);
    return device_->CreatePixelShader(function, shader);
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override {
    Note(Call::kSetPixelShader);
    return device_->SetPixelShader(shader);
  }
  HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override {
    return device_->GetPixelShader(shader);
  }
  HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override {
    Note(Call::kSetPixelShaderConstantF);
    return device_->SetPixelShaderConstantF(start, data, count);
  }
  HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) override {
    return device_->GetPixelShaderConstantF(start, data, count);
  }

 private:
  void Note(Call call, DWORD state = 0, DWORD value = 0) {
    g_Log.push_back(Entry{via_, call, state, value});
  }

  Via via_;
  IDirect3DDevice9* device_ = nullptr;
};

Recorder g_Owning(Via::kOwning);
Recorder g_Copy(Via::kCopy);
std::vector<Entry> g_LoadingLog;

// The show started over generated pictures, the two pointers replaced by
// the recorders, and the loading sequence recorded.
class RecordedShow : public testing::Environment {
 public:
  void SetUp() override {
    root_ = testdir::Make("device-pointers-test");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(showtest::WriteWindowsFolder(root_));
    ASSERT_TRUE(showtest::StartShow(root_));
    device_ = g_pd3dDevice;
    g_Owning.Attach(device_);
    g_Copy.Attach(device_);
    g_pd3dDevice = &g_Owning;
    g_pDevice = &g_Copy;
    g_Log.clear();
    RunLoadingSequence();
    g_LoadingLog = g_Log;
  }
  void TearDown() override {
    g_pd3dDevice = device_;
    g_pDevice = device_;
    testdir::Remove(root_);
  }

 private:
  std::string root_;
  IDirect3DDevice9* device_ = nullptr;
};

const testing::Environment* const kRecordedShow =
    testing::AddGlobalTestEnvironment(new RecordedShow);

struct Rule {
  Call call;
  Via via;
};

// The pointer that `rules` give for the entry's call; false when the call
// has no rule, that is, when it is not expected at all.
bool Expected(const std::vector<Rule>& rules, Call call, Via* via) {
  for (const Rule& rule : rules)
    if (rule.call == call) {
      *via = rule.via;
      return true;
    }
  return false;
}

void ExpectFollowsRules(const std::vector<Entry>& log, const std::vector<Rule>& rules,
                        const std::string& where) {
  for (size_t i = 0; i < log.size(); ++i) {
    Via via;
    if (!Expected(rules, log[i].call, &via)) {
      ADD_FAILURE() << where << ", call " << i << ": unexpected " << Describe(log[i]);
    } else if (log[i].via != via) {
      ADD_FAILURE() << where << ", call " << i << ": " << Describe(log[i]);
    }
  }
}

size_t Count(const std::vector<Entry>& log, Call call) {
  size_t n = 0;
  for (const Entry& e : log) n += e.call == call;
  return n;
}

// The label's own blend set-up after the sprite's Begin: additive.
const Entry kLabelBlend[] = {
    {Via::kOwning, Call::kSetRenderState, D3DRS_ALPHABLENDENABLE, TRUE},
    {Via::kOwning, Call::kSetRenderState, D3DRS_SRCBLEND, D3DBLEND_ONE},
    {Via::kOwning, Call::kSetRenderState, D3DRS_DESTBLEND, D3DBLEND_ONE},
};

// The render states set through the owning pointer: `labels` times the
// label's blend set-up, nothing else.
void ExpectOwningRenderStatesAreLabels(const std::vector<Entry>& log, size_t labels,
                                       const std::string& where) {
  std::vector<Entry> owning;
  for (const Entry& e : log)
    if (e.call == Call::kSetRenderState && e.via == Via::kOwning) owning.push_back(e);
  std::string listed;
  for (const Entry& e : owning) listed += "\n  " + Describe(e);
  ASSERT_EQ(owning.size(), 3 * labels) << where << ", render states:" << listed;
  for (size_t i = 0; i < owning.size(); ++i) {
    EXPECT_EQ(owning[i].state, kLabelBlend[i % 3].state) << where << ", " << Describe(owning[i]);
    EXPECT_EQ(owning[i].value, kLabelBlend[i % 3].value) << where << ", " << Describe(owning[i]);
  }
}

TEST(DevicePointers, LoadingSequence) {
  // The progress frames, the texture loads and the atlas through the copy;
  // shader creation, the bar's quads and the label's blend states through
  // the owning pointer.
  const std::vector<Rule> rules = {
      {Call::kClear, Via::kCopy},
      {Call::kBeginScene, Via::kCopy},
      {Call::kEndScene, Via::kCopy},
      {Call::kPresent, Via::kCopy},
      {Call::kCreateTexture, Via::kCopy},
      {Call::kCreatePixelShader, Via::kOwning},
      {Call::kSetFVF, Via::kOwning},
      {Call::kDrawPrimitiveUP, Via::kOwning},
      {Call::kSetRenderState, Via::kOwning},
  };
  ExpectFollowsRules(g_LoadingLog, rules, "loading");
  EXPECT_EQ(Count(g_LoadingLog, Call::kPresent), 11u);
  EXPECT_EQ(Count(g_LoadingLog, Call::kCreatePixelShader), 2u);
  EXPECT_EQ(Count(g_LoadingLog, Call::kCreateTexture), 6u) << "five pictures and the atlas";
  EXPECT_EQ(Count(g_LoadingLog, Call::kDrawPrimitiveUP), 33u) << "three rectangles a frame";
  ExpectOwningRenderStatesAreLabels(g_LoadingLog, 11, "loading");
}

struct Moment {
  const char* name;
  DWORD t;
  size_t labels;  // labels drawn: the verse pictogram
};

const Moment kMoments[] = {
    {"LeadIn", 500, 0},   {"IntroUnderItsFade", 3000, 0},  {"Intro", 8000, 0},
    {"Gap", 13872, 0},    {"VerseUnderItsFade", 14000, 1}, {"Verse", 20000, 1},
    {"Finale", 86000, 0}, {"FinaleFade", 99000, 0},        {"Tail", 103000, 0},
};

class FramePointers : public testing::TestWithParam<Moment> {};

// The frame's clear, scene and present and every quad through the owning
// pointer, like the label's blend set-up; the rest of the frame (samplers,
// textures, shaders, their colour, the scenes' and fades' render states)
// through the copy.
TEST_P(FramePointers, FollowTheDivision) {
  const Moment& m = GetParam();
  const std::vector<Rule> rules = {
      {Call::kClear, Via::kOwning},
      {Call::kBeginScene, Via::kOwning},
      {Call::kEndScene, Via::kOwning},
      {Call::kPresent, Via::kOwning},
      {Call::kSetFVF, Via::kOwning},
      {Call::kDrawPrimitiveUP, Via::kOwning},
      {Call::kSetSamplerState, Via::kCopy},
      {Call::kSetTexture, Via::kCopy},
      {Call::kSetPixelShader, Via::kCopy},
      {Call::kSetVertexShader, Via::kCopy},
      {Call::kSetPixelShaderConstantF, Via::kCopy},
      {Call::kSetRenderState, Via::kCopy},
  };
  g_Log.clear();
  g_ShowTime = m.t;
  RenderFrame();
  ASSERT_EQ(Count(g_Log, Call::kPresent), 1u);
  ASSERT_EQ(g_Log.front().call, Call::kClear) << "the frame starts with its clear";

  std::vector<Entry> withoutLabels;
  for (const Entry& e : g_Log)
    if (!(e.call == Call::kSetRenderState && e.via == Via::kOwning)) withoutLabels.push_back(e);
  ExpectFollowsRules(withoutLabels, rules, m.name);
  ExpectOwningRenderStatesAreLabels(g_Log, m.labels, m.name);
}

INSTANTIATE_TEST_SUITE_P(Moments, FramePointers, testing::ValuesIn(kMoments),
                         [](const testing::TestParamInfo<Moment>& info) {
                           return std::string(info.param.name);
                         });

// Resetting a lost device is the device's own business: everything before
// the frame's clear goes through the owning pointer.
TEST(DevicePointers, LostDeviceIsResetThroughTheOwningPointer) {
  g_ShowTime = 20000;
  StandinLoseDevice();
  RenderFrame();
  ASSERT_TRUE(g_DeviceLost);
  StandinAllowDeviceReset();
  g_Log.clear();
  RenderFrame();
  ASSERT_FALSE(g_DeviceLost);

  std::vector<Entry> restore;
  for (const Entry& e : g_Log) {
    if (e.call == Call::kClear) break;
    restore.push_back(e);
  }
  const std::vector<Rule> rules = {
      {Call::kTestCooperativeLevel, Via::kOwning},
      {Call::kReset, Via::kOwning},
      {Call::kSetSamplerState, Via::kOwning},
  };
  ExpectFollowsRules(restore, rules, "restore");
  EXPECT_EQ(Count(restore, Call::kReset), 1u);
  EXPECT_EQ(Count(restore, Call::kSetSamplerState), 28u);
}

}  // namespace
