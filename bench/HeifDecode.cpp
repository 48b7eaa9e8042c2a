// libheif's own decode of a file's primary image to interleaved 8-bit RGB(A) with its
// default options, and nothing else: the floor that compare.sh times quarvelle-cut against.
//   qv-heif-decode FILE

#include <cstdio>

#include <libheif/heif.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  heif_error error = heif_context_read_from_file(context, argv[1], nullptr);
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(context, &handle);
  if (error.code == heif_error_Ok)
    error = heif_decode_image(handle, &image, heif_colorspace_RGB,
                              heif_image_handle_has_alpha_channel(handle) ? heif_chroma_interleaved_RGBA
                                                                          : heif_chroma_interleaved_RGB,
                              nullptr);
  if (error.code != heif_error_Ok)
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message);
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return error.code == heif_error_Ok ? 0 : 1;
}
