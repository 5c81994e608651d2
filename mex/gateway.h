// What the two gateways share: reading MATLAB/Octave inputs without ever trusting them, and
// creating only the outputs the caller has room for.
//
// Both MATLAB and GNU Octave end a call that raises an error by unwinding out of the
// gateway (Octave throws a C++ exception through it), so nothing here holds a resource that
// a raised error would leak: scratch buffers come from mxCalloc, which the host releases
// when the call ends, and everything else lives in automatic storage or std::vector.
#ifndef SACCADRIX_MEX_GATEWAY_H
#define SACCADRIX_MEX_GATEWAY_H

#include <mex.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "int_convert.h"

#if defined(_WIN32)
#  define SACCADRIX_MEX_EXPORT __declspec(dllexport)
#else
// The project hides every symbol by default; the host looks mexFunction up by name.
#  define SACCADRIX_MEX_EXPORT __attribute__((visibility("default")))
#endif

namespace saccadrix::gateway {

// Raises a MATLAB error with an identifier. The text is passed as an argument, never as the
// format, so that a '%' in it cannot be taken for a conversion. Does not return.
[[noreturn]] inline void Raise(const char* identifier, const char* text) {
  mexErrMsgIdAndTxt(identifier, "%s", text);
  std::abort();  // not reached: the host ends the call
}

// Raises a MATLAB error without an identifier. Does not return.
[[noreturn]] inline void RaiseWithoutId(const char* text) {
  mexErrMsgTxt(text);
  std::abort();  // not reached
}

// The number a scalar input holds: the first element of a numeric, logical or character
// array, as mxGetScalar reads it. Inputs that hold no number (an empty array, a cell, a
// struct, a function handle, an object) read as NaN. MATLAB leaves mxGetScalar undefined
// for them and Octave raises an internal error, so they are kept away from it; NaN then
// goes through the same conversions as a NaN that the script passed itself.
inline double ScalarInput(const mxArray* input) {
  if (input == nullptr || mxIsEmpty(input) ||
      !(mxIsNumeric(input) || mxIsLogical(input) || mxIsChar(input))) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return mxGetScalar(input);
}

// An integer input: truncated toward zero to a signed 32-bit integer. NaN reads as 0 and
// values beyond the range (infinities included) saturate, never undefined behaviour.
inline int32_t IntegerInput(const mxArray* input) {
  return saturating_int32(ScalarInput(input));
}

// A flag input. The Linux build keeps the low 8 bits of the integer input, so 256 and 0.5
// are both 0 (false); the macOS build takes any value other than 0.0 as true, NaN included.
inline uint8_t FlagInput(const mxArray* input) {
#if defined(__APPLE__)
  return ScalarInput(input) != 0.0 ? 1 : 0;
#else
  return static_cast<uint8_t>(static_cast<uint32_t>(IntegerInput(input)) & 0xFFu);
#endif
}

// The option code of a call: the first input truncated toward zero. Returns false when it is
// NaN, infinite, not a number at all, or outside first..last: such calls do nothing.
inline bool OptionCode(const mxArray* input, int first, int last, int* code) {
  const double truncated = std::trunc(ScalarInput(input));
  if (!(truncated >= first && truncated <= last)) {  // false for NaN as well
    return false;
  }
  *code = static_cast<int>(truncated);
  return true;
}

// The first `count` elements of a real, full double array in storage order, or null when
// the input is not such an array or holds fewer elements. The data is read in place through
// mxGetPr, which would read another class's bytes as doubles or run past a short array: both
// are refused here instead.
inline const double* DoubleArrayInput(const mxArray* input, size_t count) {
  if (input == nullptr || !mxIsDouble(input) || mxIsComplex(input) || mxIsSparse(input) ||
      mxGetNumberOfElements(input) < count) {
    return nullptr;
  }
  const double* data = mxGetPr(input);
  return (data != nullptr || count == 0) ? data : nullptr;
}

// A string input: its columns' worth of characters in a zero-filled buffer of columns + 1
// bytes from mxCalloc (released by the host when the call ends). An input that is not a
// character array leaves the buffer empty; a character array of several rows gives as many
// characters as it has columns, taken down the columns.
inline char* StringInput(const mxArray* input) {
  const size_t columns = mxGetN(input);
  auto* buffer = static_cast<char*>(mxCalloc(columns + 1, 1));
  if (buffer == nullptr) {
    RaiseWithoutId("Out of memory - not enough free heap space");
  }
  if (mxGetString(input, buffer, static_cast<mwSize>(columns + 1)) != 0 && mxIsChar(input)) {
    // The text does not fit (several rows). MATLAB's mxGetString then copies what fits, but
    // Octave's copies nothing; take what fits on both: the first characters in storage order.
    char* whole = mxArrayToString(input);
    if (whole != nullptr) {
      std::memcpy(buffer, whole, strnlen(whole, columns));
      mxFree(whole);
    }
  }
  buffer[columns] = '\0';
  return buffer;
}

// A text input that must be a character row (or an empty character array): its characters
// in a zero-terminated buffer as StringInput makes it, or null for anything else (a number,
// a cell, a character array of several rows).
inline const char* TextRowInput(const mxArray* input) {
  if (input == nullptr || !mxIsChar(input) || mxGetM(input) > 1) {
    return nullptr;
  }
  return StringInput(input);
}

// One element of an output, or nowhere when the caller has no room for that output. Lets a
// handler compute every value and store it without asking which outputs exist.
template <typename T>
class OutputValue {
 public:
  explicit OutputValue(T* element) : element_(element) {}
  void Store(T value) const {
    if (element_ != nullptr) {
      *element_ = value;
    }
  }

 private:
  T* element_;
};

// The outputs of one call. The host provides room for max(nlhs, 1) outputs and no more
// (Octave aborts the whole process when a gateway writes past it), so an output beyond
// that room is never created; asking for it yields nothing to write to.
class Outputs {
 public:
  Outputs(int nlhs, mxArray** plhs) : room_(nlhs < 1 ? 1 : nlhs), plhs_(plhs) {}

  int Room() const { return room_; }
  bool HasRoom(int index) const { return index >= 0 && index < room_; }

  // A 1-by-1 real int32 output (a status, a flag or a value).
  OutputValue<int32_t> Int32(int index) {
    return OutputValue<int32_t>(static_cast<int32_t*>(Numeric(index, 1, mxINT32_CLASS)));
  }

  // A 1-by-1 real uint16 output.
  OutputValue<uint16_t> UInt16(int index) {
    return OutputValue<uint16_t>(static_cast<uint16_t*>(Numeric(index, 1, mxUINT16_CLASS)));
  }

  // A rows-by-1 real double column, zero-filled; null when there is no room for it (and may
  // be null for 0 rows).
  double* DoubleColumn(int index, size_t rows) {
    if (!HasRoom(index)) {
      return nullptr;
    }
    mxArray* column = mxCreateDoubleMatrix(static_cast<mwSize>(rows), 1, mxREAL);
    if (column == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = column;
    double* data = mxGetPr(column);
    if (data == nullptr && rows > 0) {  // MATLAB has no data for an empty array
      RaiseWithoutId("No real data in mxarray");
    }
    return data;
  }

  // A rows-by-1 real uint64 column, zero-filled; null when there is no room for it (and may
  // be null for 0 rows).
  uint64_t* UInt64Column(int index, size_t rows) {
    return static_cast<uint64_t*>(Numeric(index, rows, mxUINT64_CLASS));
  }

  // A real double array of the same dimensions as `shape`, zero-filled; null when there is
  // no room for it.
  double* DoubleArrayShapedLike(int index, const mxArray* shape) {
    if (!HasRoom(index)) {
      return nullptr;
    }
    mxArray* array = mxCreateNumericArray(mxGetNumberOfDimensions(shape), mxGetDimensions(shape),
                                          mxDOUBLE_CLASS, mxREAL);
    if (array == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = array;
    return static_cast<double*>(mxGetData(array));
  }

  // A rows-by-1 cell column; null when there is no room for it. Its cells are filled with
  // SetText.
  mxArray* CellColumn(int index, size_t rows) {
    if (!HasRoom(index)) {
      return nullptr;
    }
    mxArray* cells = mxCreateCellMatrix(static_cast<mwSize>(rows), 1);
    if (cells == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = cells;
    return cells;
  }

  // Puts a character row made from a zero-terminated text into cell `row` of a cell column
  // (nothing when the column was not made).
  static void SetText(mxArray* cells, size_t row, const char* text) {
    if (cells == nullptr) {
      return;
    }
    mxArray* value = mxCreateString(text);
    if (value == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    mxSetCell(cells, static_cast<mwIndex>(row), value);
  }

  // A rows-by-1 real int8 column, zero-filled; null when there is no room for it (and may
  // be null for 0 rows).
  int8_t* Int8Column(int index, size_t rows) {
    return static_cast<int8_t*>(Numeric(index, rows, mxINT8_CLASS));
  }

  // A rows-by-1 struct array with the given field names, its fields empty; null when there
  // is no room for it. Its fields are filled with mxSetField.
  mxArray* StructColumn(int index, size_t rows, int fields, const char** names) {
    if (!HasRoom(index)) {
      return nullptr;
    }
    mxArray* array = mxCreateStructMatrix(static_cast<mwSize>(rows), 1, fields, names);
    if (array == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = array;
    return array;
  }

  // A 1-by-1 real double output.
  OutputValue<double> Double(int index) { return OutputValue<double>(DoubleColumn(index, 1)); }

  // A character row made from a zero-terminated text.
  void Text(int index, const char* text) {
    if (!HasRoom(index)) {
      return;
    }
    mxArray* row = mxCreateString(text);
    if (row == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = row;
  }

 private:
  void* Numeric(int index, size_t rows, mxClassID class_id) {
    if (!HasRoom(index)) {
      return nullptr;
    }
    mxArray* array = mxCreateNumericMatrix(static_cast<mwSize>(rows), 1, class_id, mxREAL);
    if (array == nullptr) {
      RaiseWithoutId("Out of memory - not enough free heap space");
    }
    plhs_[index] = array;
    return mxGetData(array);
  }

  int room_;
  mxArray** plhs_;
};

// One row of a gateway's option table: the handler, the exact number of inputs it takes
// (the option code included), and the error raised for any other number. A row without a
// handler holds a code that the gateway leaves alone (it belongs to the other gateway).
// An option whose last inputs may be left out gives max_inputs as well: its handler then
// sees null for each input not passed.
struct Option {
  void (*handler)(Outputs& outputs, const mxArray* const prhs[]);
  int inputs;
  const char* identifier;
  const char* message;
  int max_inputs = 0;  // 0: exactly `inputs`
};

// The most inputs any option takes, the option code included.
constexpr int kMostInputs = 8;

// Whether every row of an option table takes at most kMostInputs inputs (for static_assert).
template <size_t N>
constexpr bool InputsFit(const Option (&options)[N]) {
  for (const Option& option : options) {
    if (option.inputs > kMostInputs || option.max_inputs > kMostInputs) return false;
  }
  return true;
}

// The dispatch both gateways share. No input at all is an error; an option code that is not
// a number within first..(first + count - 1), or whose row has no handler, returns with no
// output and no error whatever the inputs; otherwise the option's input count is checked
// before its handler runs. Handlers see the inputs as passed, the option code still in
// prhs[0], and null in the place of each optional input left out.
template <size_t N>
void Dispatch(const Option (&options)[N], int first, int nlhs, mxArray* plhs[], int nrhs,
              const mxArray* prhs[]) {
  if (nrhs < 1) {
    Raise("MyToolbox:arrayProduct:nrhs", "No option selected.");
  }
  int code = 0;
  if (!OptionCode(prhs[0], first, first + static_cast<int>(N) - 1, &code)) {
    return;
  }
  const Option& option = options[code - first];
  if (option.handler == nullptr) {
    return;
  }
  const int most = option.max_inputs > option.inputs ? option.max_inputs : option.inputs;
  if (nrhs < option.inputs || nrhs > most || most > kMostInputs) {
    Raise(option.identifier, option.message);
  }
  const mxArray* inputs[kMostInputs] = {};
  for (int i = 0; i < nrhs; ++i) inputs[i] = prhs[i];
  Outputs outputs(nlhs, plhs);
  option.handler(outputs, inputs);
}

}  // namespace saccadrix::gateway

#endif  // SACCADRIX_MEX_GATEWAY_H
