// The show's CompilePixelShader over the embedded source: what it creates on
// the device, and how a failed compile ends the program.
#include <gtest/gtest.h>
#include <standin.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/main_loop.h"
#include "d3d9/shader_program.h"
#include "fake_device.h"
#include "gfx/device.h"
#include "gfx/shaders.h"

namespace {

TEST(EmbeddedShaderSource, IsTheFileByteForByteWithoutATerminator) {
  std::ifstream file(SHOW_SHADER_FILE, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string expected = text.str();
  ASSERT_EQ(g_ShaderSourceSize, expected.size());
  EXPECT_EQ(std::memcmp(g_ShaderSource, expected.data(), expected.size()), 0);
}

TEST(CompilePixelShader, NullEntryGivesTwoNulls) {
  FakeDevice device;
  g_pd3dDevice = &device;
  CompiledShader shader = CompilePixelShader(nullptr);
  g_pd3dDevice = nullptr;
  EXPECT_EQ(shader.pShader, nullptr);
  EXPECT_EQ(shader.pConstantTable, nullptr);
  EXPECT_TRUE(device.created.empty());
}

TEST(CompilePixelShader, CreatesBothShadersOnTheDeviceWithoutABox) {
  FakeDevice device;
  g_pd3dDevice = &device;
  const CompiledShader color = CompilePixelShader("ColorPS");
  const CompiledShader texture = CompilePixelShader("TexturePS");
  g_pd3dDevice = nullptr;
  EXPECT_EQ(StandinMessageBoxCount(), 0u);
  ASSERT_EQ(device.created.size(), 2u);
  EXPECT_EQ(color.pShader, device.created[0]);
  EXPECT_EQ(texture.pShader, device.created[1]);
  ASSERT_NE(color.pConstantTable, nullptr);
  ASSERT_NE(texture.pConstantTable, nullptr);

  // What reached the device is a program the stand-in device accepts.
  standin::ShaderProgram program;
  char error[200];
  EXPECT_TRUE(DecodePixelShader(device.created[1]->tokens.data(), &program, error, sizeof error))
      << error;
  EXPECT_EQ(standin::ClassifyPixelShader(program).pattern,
            standin::kPatternConstantTimesTexture);

  // Callers address the colour by its name.
  const D3DXVECTOR4 white(1, 1, 1, 1);
  EXPECT_EQ(texture.pConstantTable->SetVector(&device, "vColor", &white), D3D_OK);
  EXPECT_EQ(color.pConstantTable->SetVector(&device, "vColor", &white), D3D_OK);
  EXPECT_EQ(texture.pConstantTable->GetSamplerIndex("TextureSampler"), 0u);
}

TEST(CompilePixelShaderDeathTest, AFailedCompileShowsTheCompilerTextAndExitsWithMinusOne) {
  FakeDevice device;
  g_pd3dDevice = &device;
  EXPECT_EXIT(CompilePixelShader("NoSuchPS"), ::testing::ExitedWithCode(255),
              "Pixel shader compile error!: \\(1,1\\): error X3501: 'NoSuchPS': entrypoint not "
              "found");
  g_pd3dDevice = nullptr;
}

TEST(ShaderErrorText, UsesTheCompilerTextOrNamesTheEntryPoint) {
  char fallback[160];
  EXPECT_STREQ(ShaderErrorText(nullptr, "ColorPS", fallback, sizeof fallback),
               "Pixel shader 'ColorPS' failed to compile.");

  ID3DXBuffer* errors = nullptr;
  ID3DXBuffer* code = nullptr;
  ASSERT_TRUE(FAILED(D3DXCompileShader("x", 1, nullptr, nullptr, "TexturePS", "ps_3_0", 0, &code,
                                       &errors, nullptr)));
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(ShaderErrorText(errors, "TexturePS", fallback, sizeof fallback),
            errors->GetBufferPointer());
  errors->Release();

  // An empty message is no message.
  ASSERT_EQ(D3DXCompileShader("float4 main() : COLOR0 { return 1; }", 36, nullptr, nullptr, "main",
                              "ps_3_0", 0, &code, &errors, nullptr),
            D3D_OK);
  code->Release();
  EXPECT_EQ(errors, nullptr);
}

}  // namespace
