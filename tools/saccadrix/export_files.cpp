#include "export_files.h"

#include <fcntl.h>
#include <matio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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

matvar_t* CreateScalar(const char* name, double value) {
  size_t dims[2] = {1, 1};
  return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &value, 0);
}

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

void WriteCsv(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    FailWithErrno("cannot write", path);
  }
  std::string line = CsvHeader();
  line += '\n';
  bool ok = std::fputs(line.c_str(), file) >= 0;
  for (size_t i = 0; ok && i < records.size(); ++i) {
    line = CsvLine(records[i]);
    line += '\n';
    ok = std::fputs(line.c_str(), file) >= 0;
  }
  ok = std::fflush(file) == 0 && ok;
  ok = fsync(fileno(file)) == 0 && ok;
  const int saved = errno;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    errno = saved != 0 ? saved : errno;
    FailWithErrno("cannot write", path);
  }
}

void WriteMat(const std::string& path, const std::vector<T_RESULTS_STRUCT>& records,
              const RecordingInfo& info) {
  MatFile mat(Mat_CreateVer(path.c_str(), "Saccadrix recording", MAT_FT_MAT5));
  if (!mat) {
    throw Failure(Exit::kOutputFile, "cannot create the MAT file '" + path + "'");
  }
  // One column at a time: the recording is held once as records, plus one column of doubles.
  std::vector<double> column(records.size());
  for (const Column& c : kColumns) {
    for (size_t i = 0; i < records.size(); ++i) {
      column[i] = ColumnValue(records[i], c);
    }
    size_t dims[2] = {records.size(), 1};
    MatVar var(Mat_VarCreate(c.name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, column.data(),
                             MAT_F_DONT_COPY_DATA));
    WriteVariable(mat.get(), var.get(), path);
  }

  // The names, in column order, as a 1-by-41 cell array of character rows. The cell array
  // takes over its elements: freeing it frees them.
  matvar_t* names[kColumnCount] = {};
  for (size_t i = 0; i < kColumnCount; ++i) {
    names[i] = CreateText(nullptr, kColumns[i].name);
  }
  size_t cellDims[2] = {1, kColumnCount};
  MatVar cell(Mat_VarCreate("columns", MAT_C_CELL, MAT_T_CELL, 2, cellDims, names, 0));
  if (!cell) {
    for (matvar_t* name : names) Mat_VarFree(name);
  }
  WriteVariable(mat.get(), cell.get(), path);

  WriteVariable(mat.get(), MatVar(CreateScalar("model_code", info.model)).get(), path);
  WriteVariable(mat.get(), MatVar(CreateScalar("firmware_version", info.firmware)).get(), path);
  WriteVariable(mat.get(), MatVar(CreateText("serial_number", info.serial)).get(), path);
  WriteVariable(mat.get(), MatVar(CreateText("recording_start", info.started)).get(), path);

  if (Mat_Close(mat.release()) != 0) {
    throw Failure(Exit::kOutputFile, "cannot finish the MAT file '" + path + "'");
  }
}

}  // namespace saccadrix::cli
