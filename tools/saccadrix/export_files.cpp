#include "export_files.h"

#include <fcntl.h>
#include <matio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>

#include "result_columns.h"
#include "status.h"

namespace saccadrix::cli {

namespace {

[[noreturn]] void FailWithErrno(const std::string& what, const std::string& path) {
  throw Failure(Exit::kOutputFile, what + " '" + path + "': " + std::strerror(errno));
}

// The permissions a newly created file gets, which mkstemp's 0600 would not give.
mode_t CreationMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

struct MatCloser {
  void operator()(mat_t* mat) const { Mat_Close(mat); }
};
struct VarFreer {
  void operator()(matvar_t* var) const { Mat_VarFree(var); }
};
using MatFile = std::unique_ptr<mat_t, MatCloser>;
using MatVar = std::unique_ptr<matvar_t, VarFreer>;

void WriteVariable(mat_t* mat, matvar_t* var, const std::string& path) {
  if (var == nullptr || Mat_VarWrite(mat, var, MAT_COMPRESSION_ZLIB) != 0) {
    throw Failure(Exit::kOutputFile, "cannot write the MAT file '" + path + "'");
  }
}

// A character row. matio copies the text.
matvar_t* CreateText(const char* name, std::string text) {
  size_t dims[2] = {1, text.size()};
  return Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UTF8, 2, dims, text.data(), 0);
}

// UTF-8 as UTF-16 code units; a byte that does not begin a well-formed sequence becomes
// U+FFFD. Text of any language then reads back the same in MATLAB and Octave.
std::u16string Utf16FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                                                 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1Fu)
                                        : length == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
    bool ok = length > 0 && i + length <= text.size();
    for (size_t k = 1; ok && k < length; ++k) {
      ok = (byte(i + k) & 0xC0) == 0x80;
      code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    // No overlong forms, surrogates or code points beyond U+10FFFF.
    static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

// A character row of any text: stored as MATLAB stores characters, in UTF-16 code units
// (matio's own UTF-8 characters come out damaged beyond ASCII).
matvar_t* CreateUnicodeText(const std::string& text) {
  std::u16string units = Utf16FromUtf8(text);
  size_t dims[2] = {1, units.size()};
  return Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT16, 2, dims, units.data(), 0);
}

matvar_t* CreateScalar(const char* name, double value) {
  size_t dims[2] = {1, 1};
  return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &value, 0);
}

// A cell array of character rows with the given dimensions; ASCII names stay 8-bit, any
// other text goes as UTF-16. The cell array takes over its elements: freeing it frees them.
enum class Encoding { kAscii, kUnicode };
MatVar CreateTextCell(const char* name, const std::vector<std::string>& texts, size_t rows,
                      size_t columns, Encoding encoding) {
  std::vector<matvar_t*> cells(texts.size() + 1, nullptr);  // never empty, for data()
  bool ok = true;
  for (size_t i = 0; i < texts.size(); ++i) {
    cells[i] = encoding == Encoding::kAscii ? CreateText(nullptr, texts[i])
                                            : CreateUnicodeText(texts[i]);
    ok = ok && cells[i] != nullptr;
  }
  size_t dims[2] = {rows, columns};
  MatVar cell(ok ? Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, 2, dims, cells.data(), 0)
                 : nullptr);
  if (!cell) {
    for (matvar_t* text : cells) Mat_VarFree(text);
  }
  return cell;
}

// An N-by-1 numeric column that points at the caller's values.
template <typename T>
MatVar CreateColumn(const char* name, std::vector<T>& values, matio_classes classType,
                    matio_types dataType) {
  size_t dims[2] = {values.size(), 1};
  return MatVar(Mat_VarCreate(name, classType, dataType, 2, dims, values.data(),
                              MAT_F_DONT_COPY_DATA));
}

void WriteAll(int fd, const void* data, size_t size, const std::string& path) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      FailWithErrno("cannot write the MAT file's column data next to", path);
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

void FsyncPath(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0 || fsync(fd) != 0) {
    const int saved = errno;
    if (fd >= 0) close(fd);
    errno = saved;
    FailWithErrno("cannot write", path);
  }
  close(fd);
}

// Seconds on the host clock to the nanosecond; NaN where a sample time has no mapping.
void AppendSeconds(std::string& out, double seconds) {
  if (!std::isfinite(seconds)) {
    out += std::isnan(seconds) ? "NaN" : seconds > 0 ? "Inf" : "-Inf";
    return;
  }
  char text[48];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 9);
  out.append(text, written.ptr);
}

// Field types and the class of the MAT format (version 5) that a column element uses.
constexpr uint32_t kMiInt8 = 1, kMiInt32 = 5, kMiUint32 = 6, kMiDouble = 9, kMiMatrix = 14,
                   kMiCompressed = 15, kMxDoubleClass = 6;

// Columns are compressed for speed, not size: they are compressed while the recording runs,
// beside the poll thread.
constexpr int kColumnCompression = Z_BEST_SPEED;
constexpr size_t kColumnBlock = 4096;  // values compressed at a time

}  // namespace

PendingFile::PendingFile(std::string destination) : destination_(std::move(destination)) {
  if (destination_.empty()) {
    throw Failure(Exit::kUsage, "an output file name is empty");
  }
  std::string name = destination_ + ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    FailWithErrno("cannot create a file next to", destination_);
  }
  fchmod(fd, CreationMode());
  close(fd);
  temporary_ = name;
}

PendingFile::~PendingFile() {
  if (!committed_) {
    unlink(temporary_.c_str());
  }
}

void PendingFile::Commit() {
  if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    FailWithErrno("cannot replace", destination_);
  }
  committed_ = true;
}

// ---- CSV ---------------------------------------------------------------------------------

// A text file written through a large buffer; every error, including one found only when
// the buffer is flushed at the end, is a Failure naming the file.
class TextFile {
 public:
  explicit TextFile(std::string path) : path_(std::move(path)) {
    file_ = std::fopen(path_.c_str(), "w");
    if (file_ == nullptr) {
      FailWithErrno("cannot write", path_);
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~TextFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  void Put(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
      FailWithErrno("cannot write", path_);
    }
  }

  void Close() {
    bool ok = std::fflush(file_) == 0;
    ok = ok && fsync(fileno(file_)) == 0;
    const int saved = errno;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) {
      errno = saved != 0 ? saved : errno;
      FailWithErrno("cannot write", path_);
    }
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

CsvWriter::CsvWriter(const std::string& path, Times times)
    : file_(std::make_unique<TextFile>(path)), times_(times) {
  std::string header = CsvHeader();
  if (times_ == Times::kWith) header += ",host_time,sample_time";
  header += '\n';
  file_->Put(header);
}

CsvWriter::~CsvWriter() = default;

void CsvWriter::Append(const RecordBlock& block) {
  line_.clear();
  for (size_t i = 0; i < block.count; ++i) {
    AppendCsvLine(line_, block.records[i]);
    if (times_ == Times::kWith) {
      line_ += ',';
      AppendSeconds(line_, block.hostTimes[i]);
      line_ += ',';
      AppendSeconds(line_, block.sampleTimes[i]);
    }
    line_ += '\n';
  }
  file_->Put(line_);
}

void CsvWriter::Finish() { file_->Close(); }

void WriteMarkersCsv(const std::string& path, const std::vector<Marker>& markers) {
  TextFile file(path);
  std::string text = "host_time,timestamp,text\n";
  for (const Marker& marker : markers) {
    AppendSeconds(text, marker.hostTime);
    char timestamp[24];
    std::snprintf(timestamp, sizeof timestamp, ",%" PRIu64 ",\"", marker.timestamp);
    text += timestamp;
    for (const char c : marker.text) {
      if (c == '"') text += '"';
      text += c;
    }
    text += "\"\n";
  }
  file.Put(text);
  file.Close();
}

std::vector<Marker> RecordingMarkers() {
  std::vector<Marker> markers;
  const int count = zelSaccadrixGetMarkerCount();
  markers.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) {
    Marker marker;
    char text[256];
    if (zelSaccadrixGetMarker(i, &marker.hostTime, &marker.timestamp, text, sizeof text) == 0) {
      marker.text = text;
      markers.push_back(std::move(marker));
    }
  }
  return markers;
}

// ---- MAT ---------------------------------------------------------------------------------

// One column of a MAT file while it grows: its values go through a raw deflate stream into a
// scratch file. In the MAT file a column is a compressed element: one zlib stream holding the
// variable's header (which gives the number of rows, known only at the end) and then the
// values. Deflate blocks of separate streams may follow each other when the first ends on a
// byte boundary without a final block (a sync flush), so the header is compressed at the end
// on its own and put in front of the compressed values; the checksum of the two is combined.
class MatWriter::ColumnStream {
 public:
  ColumnStream(const std::string& matPath, std::string name)
      : path_(matPath), name_(std::move(name)), output_(64 * 1024) {
    std::string scratch = matPath + ".column.XXXXXX";
    fd_ = mkstemp(scratch.data());
    if (fd_ < 0) {
      FailWithErrno("cannot create the MAT file's column data next to", matPath);
    }
    unlink(scratch.c_str());
    if (deflateInit2(&stream_, kColumnCompression, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      close(fd_);
      throw Failure(Exit::kInternal, "cannot start compressing the MAT file's columns");
    }
    streaming_ = true;
    input_.reserve(kColumnBlock);
  }

  ~ColumnStream() {
    if (streaming_) deflateEnd(&stream_);
    close(fd_);
  }

  ColumnStream(const ColumnStream&) = delete;
  ColumnStream& operator=(const ColumnStream&) = delete;

  void Add(double value) {
    input_.push_back(value);
    if (input_.size() == kColumnBlock) Compress(Z_NO_FLUSH);
  }

  // Ends the compressed values with the stream's final block.
  void Finish() { Compress(Z_FINISH); }

  // Appends the column's element (rows by 1 doubles) to the MAT file.
  void CopyInto(std::FILE* mat, uint64_t rows) {
    std::vector<unsigned char> header = VariableHeader(rows);
    const uLong headerSum = adler32(1, header.data(), static_cast<uInt>(header.size()));
    const uLong sum =
        adler32_combine(headerSum, valuesSum_, static_cast<z_off_t>(valuesBytes_));
    std::vector<unsigned char> packedHeader = CompressHeader(header);
    const unsigned char zlibHeader[2] = {0x78, 0x01};  // deflate, 32 KiB window, no dictionary
    const unsigned char trailer[4] = {static_cast<unsigned char>(sum >> 24),
                                      static_cast<unsigned char>(sum >> 16),
                                      static_cast<unsigned char>(sum >> 8),
                                      static_cast<unsigned char>(sum)};
    const uint64_t size = sizeof zlibHeader + packedHeader.size() + compressedBytes_ +
                          sizeof trailer;
    if (size > std::numeric_limits<uint32_t>::max()) {
      throw Failure(Exit::kOutputFile, "the column " + name_ + " is too large for the MAT "
                                           "file '" + path_ + "'");
    }
    const uint32_t tag[2] = {kMiCompressed, static_cast<uint32_t>(size)};
    bool ok = std::fwrite(tag, sizeof tag, 1, mat) == 1 &&
              std::fwrite(zlibHeader, sizeof zlibHeader, 1, mat) == 1 &&
              std::fwrite(packedHeader.data(), packedHeader.size(), 1, mat) == 1;
    if (lseek(fd_, 0, SEEK_SET) != 0) ok = false;
    for (uint64_t left = compressedBytes_; ok && left > 0;) {
      const ssize_t n = read(fd_, output_.data(), std::min<uint64_t>(left, output_.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        ok = false;
        break;
      }
      ok = std::fwrite(output_.data(), static_cast<size_t>(n), 1, mat) == 1;
      left -= static_cast<uint64_t>(n);
    }
    ok = ok && std::fwrite(trailer, sizeof trailer, 1, mat) == 1;
    if (!ok) {
      FailWithErrno("cannot write", path_);
    }
  }

 private:
  void Compress(int flush) {
    const auto* bytes = reinterpret_cast<const Bytef*>(input_.data());
    const size_t size = input_.size() * sizeof(double);
    valuesSum_ = adler32(valuesSum_, bytes, static_cast<uInt>(size));
    valuesBytes_ += size;
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = static_cast<uInt>(size);
    for (;;) {
      stream_.next_out = output_.data();
      stream_.avail_out = static_cast<uInt>(output_.size());
      const int status = deflate(&stream_, flush);
      if (status == Z_STREAM_ERROR) {
        throw Failure(Exit::kInternal, "cannot compress the MAT file's column " + name_);
      }
      const size_t produced = output_.size() - stream_.avail_out;
      WriteAll(fd_, output_.data(), produced, path_);
      compressedBytes_ += produced;
      if (flush == Z_FINISH ? status == Z_STREAM_END : stream_.avail_out != 0) break;
    }
    input_.clear();
  }

  // The matrix element's tag and its fields before the values: array flags (double, real),
  // dimensions rows-by-1, the name, and the tag of the values.
  std::vector<unsigned char> VariableHeader(uint64_t rows) const {
    const size_t namePadded = (name_.size() + 7) / 8 * 8;
    const uint64_t valueBytes = rows * sizeof(double);
    const uint64_t matrixBytes = 16 + 16 + 8 + namePadded + 8 + valueBytes;
    std::vector<unsigned char> header;
    auto put = [&header](uint32_t word) {
      unsigned char bytes[4];
      std::memcpy(bytes, &word, sizeof bytes);  // native order, as matio's file header says
      header.insert(header.end(), bytes, bytes + 4);
    };
    put(kMiMatrix);
    put(static_cast<uint32_t>(matrixBytes));
    put(kMiUint32), put(8), put(kMxDoubleClass), put(0);
    put(kMiInt32), put(8), put(static_cast<uint32_t>(rows)), put(1);
    put(kMiInt8), put(static_cast<uint32_t>(name_.size()));
    header.insert(header.end(), name_.begin(), name_.end());
    header.resize(header.size() + namePadded - name_.size(), 0);
    put(kMiDouble);
    put(static_cast<uint32_t>(valueBytes));
    return header;
  }

  std::vector<unsigned char> CompressHeader(std::vector<unsigned char>& header) const {
    z_stream stream{};
    if (deflateInit2(&stream, kColumnCompression, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      throw Failure(Exit::kInternal, "cannot start compressing the MAT file's columns");
    }
    std::vector<unsigned char> packed(deflateBound(&stream, header.size()) + 16);
    stream.next_in = header.data();
    stream.avail_in = static_cast<uInt>(header.size());
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    const int status = deflate(&stream, Z_SYNC_FLUSH);
    const bool whole = status == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
    packed.resize(packed.size() - stream.avail_out);
    deflateEnd(&stream);
    if (!whole) {
      throw Failure(Exit::kInternal, "cannot compress the MAT file's column " + name_);
    }
    return packed;
  }

  std::string path_;
  std::string name_;
  int fd_ = -1;
  z_stream stream_{};
  bool streaming_ = false;
  std::vector<double> input_;
  std::vector<unsigned char> output_;
  uLong valuesSum_ = 1;  // adler32 of the values so far
  uint64_t valuesBytes_ = 0;
  uint64_t compressedBytes_ = 0;
};

MatWriter::MatWriter(const std::string& path, Times times) : path_(path), times_(times) {
  for (const Column& column : kColumns) {
    columns_.push_back(std::make_unique<ColumnStream>(path_, column.name));
  }
  if (times_ == Times::kWith) {
    columns_.push_back(std::make_unique<ColumnStream>(path_, "host_time"));
    columns_.push_back(std::make_unique<ColumnStream>(path_, "sample_time"));
  }
}

MatWriter::~MatWriter() = default;

void MatWriter::Append(const RecordBlock& block) {
  if (block.count > kMaxMatRows - rows_) {
    throw Failure(Exit::kOutputFile, "the recording has grown beyond the " +
                                         std::to_string(kMaxMatRows) +
                                         " results a MAT file holds; '" + path_ +
                                         "' is given up");
  }
  // Column by column: each stream takes a run of values at a time.
  for (size_t c = 0; c < kColumnCount; ++c) {
    for (size_t i = 0; i < block.count; ++i) {
      columns_[c]->Add(ColumnValue(block.records[i], kColumns[c]));
    }
  }
  if (times_ == Times::kWith) {
    for (size_t i = 0; i < block.count; ++i) columns_[kColumnCount]->Add(block.hostTimes[i]);
    for (size_t i = 0; i < block.count; ++i) {
      columns_[kColumnCount + 1]->Add(block.sampleTimes[i]);
    }
  }
  rows_ += block.count;
}

void MatWriter::Finish(const RecordingInfo& info, const std::vector<Marker>& markers) {
  for (auto& column : columns_) column->Finish();
  // matio writes the file's header; the columns follow it; matio then appends the rest.
  MatFile mat(Mat_CreateVer(path_.c_str(), "Saccadrix recording", MAT_FT_MAT5));
  if (!mat || Mat_Close(mat.release()) != 0) {
    throw Failure(Exit::kOutputFile, "cannot create the MAT file '" + path_ + "'");
  }
  std::FILE* file = std::fopen(path_.c_str(), "ab");
  if (file == nullptr) {
    FailWithErrno("cannot write", path_);
  }
  std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
  try {
    for (auto& column : columns_) column->CopyInto(file, rows_);
  } catch (...) {
    std::fclose(file);
    throw;
  }
  if (std::fclose(file) != 0) {
    FailWithErrno("cannot write", path_);
  }
  columns_.clear();  // the scratch files go

  mat.reset(Mat_Open(path_.c_str(), MAT_ACC_RDWR));
  if (!mat) {
    throw Failure(Exit::kOutputFile, "cannot reopen the MAT file '" + path_ + "'");
  }
  // The names, in column order, as a row of character rows.
  std::vector<std::string> names;
  for (const Column& column : kColumns) names.emplace_back(column.name);
  if (times_ == Times::kWith) {
    names.emplace_back("host_time");
    names.emplace_back("sample_time");
  }
  WriteVariable(mat.get(),
                CreateTextCell("columns", names, 1, names.size(), Encoding::kAscii).get(), path_);
  WriteVariable(mat.get(), MatVar(CreateScalar("model_code", info.model)).get(), path_);
  WriteVariable(mat.get(), MatVar(CreateScalar("firmware_version", info.firmware)).get(),
                path_);
  WriteVariable(mat.get(), MatVar(CreateText("serial_number", info.serial)).get(), path_);
  WriteVariable(mat.get(), MatVar(CreateText("recording_start", info.started)).get(), path_);

  if (times_ == Times::kWith) {
    std::vector<double> times;
    std::vector<uint64_t> timestamps;
    std::vector<std::string> texts;
    for (const Marker& marker : markers) {
      times.push_back(marker.hostTime);
      timestamps.push_back(marker.timestamp);
      texts.push_back(marker.text);
    }
    WriteVariable(mat.get(), CreateColumn("marker_time", times, MAT_C_DOUBLE,
                                          MAT_T_DOUBLE).get(), path_);
    WriteVariable(mat.get(), CreateColumn("marker_timestamp", timestamps, MAT_C_UINT64,
                                          MAT_T_UINT64).get(), path_);
    WriteVariable(
        mat.get(),
        CreateTextCell("marker_text", texts, texts.size(), 1, Encoding::kUnicode).get(), path_);
  }
  if (Mat_Close(mat.release()) != 0) {
    throw Failure(Exit::kOutputFile, "cannot finish the MAT file '" + path_ + "'");
  }
  FsyncPath(path_);
}

// ---- Whole recordings ----------------------------------------------------------------------

void WriteCsv(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records) {
  CsvWriter writer(path, Times::kWithout);
  writer.Append(RecordBlock{records.data(), nullptr, nullptr, records.size()});
  writer.Finish();
}

void WriteMat(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records,
              const RecordingInfo& info) {
  MatWriter writer(path, Times::kWithout);
  writer.Append(RecordBlock{records.data(), nullptr, nullptr, records.size()});
  writer.Finish(info, {});
}

}  // namespace saccadrix::cli
