// JPEG decoding on Windows through the system's picture loader (OleLoadPicture), which the
// Windows build has without a JPEG library of its own. The frame header is read first, so a
// picture larger than the limits is refused before anything is decoded.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <fstream>
#include <iterator>

#include "platform/desktop.h"

namespace navelo {
namespace {

// The size and component count of the first frame header (SOF0-SOF15 but DHT, JPG and DAC).
bool FrameHeader(const std::string& bytes, int& width, int& height, int& components) {
  if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xD8) {
    return false;
  }
  size_t at = 2;
  auto byte = [&bytes](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
  while (at + 4 <= bytes.size()) {
    if (byte(at) != 0xFF) return false;
    const unsigned marker = byte(at + 1);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    const size_t length = byte(at + 2) << 8 | byte(at + 3);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (at + 10 > bytes.size()) return false;
      height = static_cast<int>(byte(at + 5) << 8 | byte(at + 6));
      width = static_cast<int>(byte(at + 7) << 8 | byte(at + 8));
      components = static_cast<int>(byte(at + 9));
      return true;
    }
    if (marker == 0xD9 || marker == 0xDA || length < 2) return false;
    at += 2 + length;
  }
  return false;
}

}  // namespace

bool DecodeJpegFile(const std::filesystem::path& path, DecodedJpeg& picture, std::string& reason) {
  picture = DecodedJpeg{};
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    reason = "não foi possível abrir o arquivo";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  int width = 0, height = 0, components = 0;
  if (!FrameHeader(bytes, width, height, components) || width <= 0 || height <= 0) {
    reason = "JPEG inválido";
    return false;
  }
  if (width > kMaxJpegSide || height > kMaxJpegSide ||
      static_cast<int64_t>(width) * height > kMaxJpegPixels) {
    reason = "a imagem é grande demais";
    return false;
  }
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool decoded = false;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  IStream* stream = nullptr;
  if (memory) {
    if (void* target = GlobalLock(memory)) {
      CopyMemory(target, bytes.data(), bytes.size());
      GlobalUnlock(memory);
      if (CreateStreamOnHGlobal(memory, TRUE, &stream) == S_OK) memory = nullptr;
    }
  }
  IPicture* loaded = nullptr;
  if (stream && OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                               reinterpret_cast<void**>(&loaded)) == S_OK) {
    OLE_HANDLE handle = 0;
    BITMAP info{};
    if (loaded->get_Handle(&handle) == S_OK &&
        GetObjectA(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof info, &info) &&
        info.bmWidth == width && info.bmHeight == height) {
      BITMAPINFO header{};
      header.bmiHeader.biSize = sizeof header.bmiHeader;
      header.bmiHeader.biWidth = width;
      header.bmiHeader.biHeight = -height;  // rows top first
      header.bmiHeader.biPlanes = 1;
      header.bmiHeader.biBitCount = 32;
      header.bmiHeader.biCompression = BI_RGB;
      std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
      HDC screen = GetDC(nullptr);
      if (GetDIBits(screen, reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), 0,
                    static_cast<UINT>(height), bgra.data(), &header, DIB_RGB_COLORS) == height) {
        picture.width = width;
        picture.height = height;
        picture.grey = components == 1;
        const size_t count = static_cast<size_t>(width) * height;
        picture.pixels.resize(count * (picture.grey ? 1 : 3));
        for (size_t i = 0; i < count; ++i) {
          if (picture.grey) {
            picture.pixels[i] = bgra[i * 4 + 1];
          } else {
            picture.pixels[i * 3] = bgra[i * 4 + 2];
            picture.pixels[i * 3 + 1] = bgra[i * 4 + 1];
            picture.pixels[i * 3 + 2] = bgra[i * 4];
          }
        }
        decoded = true;
      }
      ReleaseDC(nullptr, screen);
    }
    loaded->Release();
  }
  if (stream) stream->Release();
  if (memory) GlobalFree(memory);
  if (SUCCEEDED(com)) CoUninitialize();
  if (!decoded) reason = "JPEG inválido";
  return decoded;
}

}  // namespace navelo
