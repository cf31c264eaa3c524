// D3DXCompileShader and the objects it hands out: the buffers and the
// constant table. None of them holds a device: SetVector writes through the
// device it is given.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include <d3dx9.h>

#include "d3dx9/hlsl/compiler.h"
#include "d3dx9/hlsl/d3dx_buffer.h"

namespace standin {
namespace {

class Buffer final : public ID3DXBuffer {
 public:
  explicit Buffer(DWORD size) : size_(size), data_(size ? calloc(size, 1) : nullptr) {}
  bool ok() const { return size_ == 0 || data_ != nullptr; }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  LPVOID GetBufferPointer() override { return data_; }
  DWORD GetBufferSize() override { return size_; }

 private:
  ~Buffer() { free(data_); }
  std::atomic<ULONG> refs_{1};
  DWORD size_;
  void* data_;
};

class ConstantTable final : public ID3DXConstantTable {
 public:
  // The table's own data, which is also what GetBufferPointer shows: one
  // record per constant, then the names they point into.
  struct Record {
    const char* name;
    uint32_t kind;  // hlsl::ConstantInfo::Kind
    uint32_t registerIndex;
    uint32_t columns;
    uint32_t hasDefault;
    float defaultValue[4];
  };

  static ConstantTable* Create(const std::vector<hlsl::ConstantInfo>& constants) {
    size_t bytes = sizeof(Record) * constants.size();
    for (const hlsl::ConstantInfo& c : constants) bytes += c.name.size() + 1;
    ConstantTable* table = new (std::nothrow) ConstantTable;
    if (!table) return nullptr;
    table->size_ = static_cast<DWORD>(bytes);
    table->data_ = static_cast<unsigned char*>(calloc(bytes ? bytes : 1, 1));
    if (!table->data_) {
      table->Release();
      return nullptr;
    }
    table->count_ = static_cast<uint32_t>(constants.size());
    Record* records = table->records();
    char* names = reinterpret_cast<char*>(records + constants.size());
    for (size_t i = 0; i < constants.size(); ++i) {
      const hlsl::ConstantInfo& c = constants[i];
      memcpy(names, c.name.c_str(), c.name.size() + 1);
      records[i].name = names;
      records[i].kind = c.kind;
      records[i].registerIndex = c.registerIndex;
      records[i].columns = c.columns;
      records[i].hasDefault = c.hasDefault;
      memcpy(records[i].defaultValue, c.defaultValue, sizeof records[i].defaultValue);
      names += c.name.size() + 1;
    }
    return table;
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  LPVOID GetBufferPointer() override { return data_; }
  DWORD GetBufferSize() override { return size_; }

  // Handles are the table's own copies of the names, so a handle is also a
  // valid name and both kinds go through Find.
  D3DXHANDLE GetConstantByName(D3DXHANDLE parent, LPCSTR name) override {
    if (parent || !name) return nullptr;  // no struct constants here
    const Record* r = Find(name);
    return r ? r->name : nullptr;
  }

  UINT GetSamplerIndex(D3DXHANDLE handle) override {
    const Record* r = Find(handle);
    if (!r || r->kind != hlsl::ConstantInfo::kSampler) return static_cast<UINT>(-1);
    return r->registerIndex;
  }

  HRESULT SetDefaults(LPDIRECT3DDEVICE9 device) override {
    if (!device) return D3DERR_INVALIDCALL;
    for (uint32_t i = 0; i < count_; ++i) {
      const Record& r = records()[i];
      if (r.kind == hlsl::ConstantInfo::kFloat && r.hasDefault) {
        HRESULT hr = device->SetPixelShaderConstantF(r.registerIndex, r.defaultValue, 1);
        if (FAILED(hr)) return hr;
      }
    }
    return D3D_OK;
  }

  HRESULT SetFloat(LPDIRECT3DDEVICE9 device, D3DXHANDLE handle, FLOAT value) override {
    const float v[4] = {value, 0.0f, 0.0f, 0.0f};
    return SetRegister(device, handle, v);
  }

  HRESULT SetVector(LPDIRECT3DDEVICE9 device, D3DXHANDLE handle,
                    const D3DXVECTOR4* vector) override {
    if (!vector) return D3DERR_INVALIDCALL;
    const float v[4] = {vector->x, vector->y, vector->z, vector->w};
    return SetRegister(device, handle, v);
  }

 private:
  ConstantTable() = default;
  ~ConstantTable() { free(data_); }

  Record* records() { return reinterpret_cast<Record*>(data_); }

  const Record* Find(D3DXHANDLE handle) {
    if (!handle) return nullptr;
    for (uint32_t i = 0; i < count_; ++i) {
      const Record& r = records()[i];
      if (r.name == handle || strcmp(r.name, handle) == 0) return &r;
    }
    return nullptr;
  }

  HRESULT SetRegister(LPDIRECT3DDEVICE9 device, D3DXHANDLE handle, const float v[4]) {
    if (!device) return D3DERR_INVALIDCALL;
    const Record* r = Find(handle);
    if (!r || r->kind != hlsl::ConstantInfo::kFloat) return D3DERR_INVALIDCALL;
    return device->SetPixelShaderConstantF(r->registerIndex, v, 1);
  }

  std::atomic<ULONG> refs_{1};
  unsigned char* data_ = nullptr;
  DWORD size_ = 0;
  uint32_t count_ = 0;
};

}  // namespace

HRESULT CreateD3DXBuffer(DWORD size, LPD3DXBUFFER* out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  Buffer* buffer = new (std::nothrow) Buffer(size);
  if (!buffer) return E_OUTOFMEMORY;
  if (!buffer->ok()) {
    buffer->Release();
    return E_OUTOFMEMORY;
  }
  *out = buffer;
  return D3D_OK;
}

HRESULT CreateD3DXTextBuffer(const char* text, LPD3DXBUFFER* out) {
  const size_t length = strlen(text);
  HRESULT hr = CreateD3DXBuffer(static_cast<DWORD>(length + 1), out);
  if (SUCCEEDED(hr)) memcpy((*out)->GetBufferPointer(), text, length + 1);
  return hr;
}

}  // namespace standin

using standin::CreateD3DXBuffer;
using standin::CreateD3DXTextBuffer;

HRESULT WINAPI D3DXCompileShader(LPCSTR srcData, UINT srcDataLen, const D3DXMACRO* defines,
                                 LPD3DXINCLUDE /*include: only #include would use it*/,
                                 LPCSTR functionName, LPCSTR profile, DWORD /*flags*/,
                                 LPD3DXBUFFER* shader, LPD3DXBUFFER* errorMsgs,
                                 LPD3DXCONSTANTTABLE* constantTable) {
  if (shader) *shader = nullptr;
  if (errorMsgs) *errorMsgs = nullptr;
  if (constantTable) *constantTable = nullptr;

  auto fail = [&](HRESULT hr, const std::string& text) {
    if (errorMsgs && !text.empty()) CreateD3DXTextBuffer(text.c_str(), errorMsgs);
    return hr;
  };
  if (!srcData && srcDataLen > 0)
    return fail(D3DERR_INVALIDCALL, "error: no source data but a length of " +
                                        std::to_string(srcDataLen) + " bytes\n");
  if (defines && defines[0].Name)
    return fail(D3DERR_INVALIDCALL,
                "error: macro definitions are not supported by this compiler\n");

  standin::hlsl::CompileResult result;
  const bool ok = standin::hlsl::CompilePixelShaderSource(srcData ? srcData : "", srcDataLen,
                                                          functionName, profile, &result);
  if (!ok) return fail(E_FAIL, result.messages);

  LPD3DXBUFFER code = nullptr;
  LPD3DXCONSTANTTABLE table = nullptr;
  if (shader) {
    const DWORD bytes = static_cast<DWORD>(result.tokens.size() * sizeof(DWORD));
    if (FAILED(CreateD3DXBuffer(bytes, &code))) return fail(E_OUTOFMEMORY, "error: out of memory\n");
    memcpy(code->GetBufferPointer(), result.tokens.data(), bytes);
  }
  if (constantTable) {
    table = standin::ConstantTable::Create(result.constants);
    if (!table) {
      if (code) code->Release();
      return fail(E_OUTOFMEMORY, "error: out of memory\n");
    }
  }
  // Warnings of a successful compile still reach the caller.
  if (errorMsgs && !result.messages.empty()) CreateD3DXTextBuffer(result.messages.c_str(), errorMsgs);
  if (shader) *shader = code;
  if (constantTable) *constantTable = table;
  return D3D_OK;
}
