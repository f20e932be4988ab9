#include "standin/fonts/font_file.h"

#include <fcntl.h>
#include <ft2build.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include FT_FREETYPE_H

namespace standin {

// The face, its library and the file's descriptor, read by FreeType
// through a stream.
class FontFile {
 public:
  ~FontFile() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
    if (fd >= 0) ::close(fd);
  }
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  FT_StreamRec stream{};
  int fd = -1;
};

void FontFileCloser::operator()(FontFile* file) const { delete file; }

FT_FaceRec_* FaceOf(const FontFile& file) { return file.face; }

namespace {

unsigned long ReadStream(FT_Stream stream, unsigned long offset, unsigned char* buffer,
                         unsigned long count) {
  const int fd = static_cast<int>(stream->descriptor.value);
  // A seek without reading: report success when the offset is inside.
  if (count == 0) return offset <= stream->size ? 0 : 1;
  unsigned long done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<unsigned long>(n);
  }
  return done;
}

void CloseStream(FT_Stream) {}

}  // namespace

FontFilePtr OpenFontFile(const std::string& path, int index, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "font file " + path + ": " + why;
    return FontFilePtr();
  };
  if (path.empty()) return fail("no path");
  FontFilePtr file(new FontFile());
  // Without O_NONBLOCK, opening a FIFO waits for a writer forever.
  file->fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (file->fd < 0) return fail(std::strerror(errno));
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  if (st.st_size <= 0) return fail("empty");
  if (st.st_size > kMaxFontFileBytes)
    return fail("larger than " + std::to_string(kMaxFontFileBytes) + " bytes");
  if (FT_Init_FreeType(&file->library) != 0) {
    file->library = nullptr;
    return fail("FreeType cannot be started");
  }
  file->stream.size = static_cast<unsigned long>(st.st_size);
  file->stream.descriptor.value = file->fd;
  file->stream.read = ReadStream;
  file->stream.close = CloseStream;
  FT_Open_Args args{};
  args.flags = FT_OPEN_STREAM;
  args.stream = &file->stream;
  if (FT_Open_Face(file->library, &args, index, &file->face) != 0 || !file->face) {
    file->face = nullptr;
    return fail("not a font file, or a damaged one");
  }
  if (file->face->num_glyphs <= 0) return fail("a font without glyphs");
  return file;
}

bool IsUsableFontFile(const std::string& path, int index, std::string* error) {
  return OpenFontFile(path, index, error) != nullptr;
}

}  // namespace standin
