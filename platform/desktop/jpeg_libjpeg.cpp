// JPEG decoding with libjpeg (libjpeg-turbo). The library reports fatal errors through a jump
// back to the caller; the decoder's own memory is released by jpeg_destroy_decompress, and the
// objects of ours that live across the jump are made before it is armed.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "platform/desktop.h"

namespace navelo {
namespace {

struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnFatalError(j_common_ptr info) {
  auto* error = reinterpret_cast<ErrorJump*>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void OnMessage(j_common_ptr, int) {}  // warnings of a damaged but readable file stay silent

struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file) std::fclose(file);
  }
};

}  // namespace

bool DecodeJpegFile(const std::filesystem::path& path, DecodedJpeg& picture, std::string& reason) {
  picture = DecodedJpeg{};
  FileCloser file{std::fopen(path.c_str(), "rb")};
  if (!file.file) {
    reason = "não foi possível abrir o arquivo";
    return false;
  }
  jpeg_decompress_struct info{};
  ErrorJump error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnFatalError;
  error.manager.emit_message = OnMessage;
  std::vector<uint8_t>& pixels = picture.pixels;
  JSAMPROW row = nullptr;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    pixels.clear();
    picture.width = picture.height = 0;
    reason = std::string("JPEG inválido: ") + error.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file.file);
  jpeg_read_header(&info, TRUE);
  if (static_cast<int64_t>(info.image_width) > kMaxJpegSide ||
      static_cast<int64_t>(info.image_height) > kMaxJpegSide ||
      static_cast<int64_t>(info.image_width) * info.image_height > kMaxJpegPixels) {
    jpeg_destroy_decompress(&info);
    reason = "a imagem é grande demais";
    return false;
  }
  picture.grey = info.jpeg_color_space == JCS_GRAYSCALE;
  info.out_color_space = picture.grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&info);
  const int channels = picture.grey ? 1 : 3;
  picture.width = static_cast<int>(info.output_width);
  picture.height = static_cast<int>(info.output_height);
  pixels.resize(static_cast<size_t>(picture.width) * picture.height * channels);
  while (info.output_scanline < info.output_height) {
    row = pixels.data() + static_cast<size_t>(info.output_scanline) * picture.width * channels;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace navelo
