// Result decoding: report layouts, scaling, angles, the model-3 pair split, pins and the
// start of a recording. Runs the decoder directly, without a device.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "connection_state.h"
#include "report_builder.h"
#include "result_buffers.h"
#include "result_decoding.h"

using namespace saccadrix;

namespace {

// The record is packed: copy its floats out before comparing them by reference.
std::array<float, 15> values_of(const T_EYE_RESULTS& eye) {
  std::array<float, 15> out;
  std::memcpy(out.data(), eye.values, sizeof eye.values);
  return out;
}

// The decoder's inputs besides the report: set per test, defaults of a model code 4 tracker.
DecodeContext ctx;
FrameTiming timing;

T_RESULTS_STRUCT decode(const TestReport& r) {
  T_RESULTS_STRUCT rec;
  EXPECT_EQ(processBuffer(r.bytes, ctx, &rec), 1);
  return rec;
}

int processResult(const uint8_t* report) { return saccadrix::processResult(report, ctx, 0.0); }

class Decoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = DecodeContext{};
    ctx.model = 4;
    ctx.firmwareVersion = 30000;
    ctx.timing = &timing;
    tracking.storeResults = false;
    tracking.waitForStart = false;
    ringBuf_init(&results_buffer);
    ClearStoredResults();
  }
  void TearDown() override { ClearStoredResults(); }

  std::vector<T_RESULTS_STRUCT> drain_ring() {
    std::vector<T_RESULTS_STRUCT> out;
    T_RESULTS_STRUCT r;
    while (ringBuf_pop(&results_buffer, &r) == 0) out.push_back(r);
    return out;
  }
};

TEST_F(Decoder, type202_scales_by_powers_of_two_and_averages_reflections) {
  TestReport r(202);
  r.u32(2, 0xA5).u64(6, 123456789012345ull);
  r.u8(14, 0x0E).u24(15, 8192).u24(18, 4096).u24(21, 16384).u24(24, 8192);
  r.u24(27, 8192).u24(30, 8192).u24(33, 16384).u24(36, 0);
  const T_RESULTS_STRUCT rec = decode(r);
  EXPECT_EQ(+rec.size, 155);
  EXPECT_EQ(+rec.timestamp, 123456789012345ull);
  EXPECT_EQ(+rec.resultsType, 0);
  EXPECT_EQ(+rec.digitalInputs, 0xA5u);
  const auto v = values_of(rec.eye[0]);
  EXPECT_EQ(v[4], 1.0f);
  EXPECT_EQ(v[5], 0.5f);
  EXPECT_EQ(v[2], 2.0f);
  EXPECT_EQ(v[3], 1.0f);
  EXPECT_EQ(v[0], 1.5f);  // (8192 + 16384) * 2^-14
  EXPECT_EQ(v[1], 1.0f);  // second reflection y is 0: first y alone
  EXPECT_EQ(v[6], 0.5f);
  EXPECT_EQ(v[7], 0.0f);
  EXPECT_EQ(rec.eye[0].tracked, 1);
  EXPECT_EQ(rec.eye[0].statusBit0, 0);
  // Second eye block at stride 25 is independent of the first.
  TestReport r2(202);
  r2.u8(14 + 25, 0x03).u24(21 + 25, 16384);
  const T_RESULTS_STRUCT rec2 = decode(r2);
  EXPECT_EQ(+rec2.eye[1].values[2], 2.0f);
  EXPECT_EQ(rec2.eye[1].statusBit0, 1);
  EXPECT_EQ(rec2.eye[1].tracked, 0);  // bit 1 without a reflection bit
  EXPECT_EQ(+rec2.eye[0].values[2], 0.0f);
}

TEST_F(Decoder, type200_divides_by_scale_and_averages_each_axis_separately) {
  TestReport r(200);
  r.u32(4, 7).u64(8, 42);
  r.u16(16, 0x06).u16(22, 16).u16(24, 32).u16(26, 48).u16(28, 400).u16(30, 160);
  r.u16(32, 160).u16(34, 64).u16(36, 0).u16(38, 128);
  const T_RESULTS_STRUCT rec = decode(r);
  const auto v = values_of(rec.eye[0]);
  EXPECT_EQ(+rec.timestamp, 42u);
  EXPECT_EQ(+rec.digitalInputs, 7u);
  EXPECT_EQ(v[2], 25.0f);
  EXPECT_EQ(v[3], 10.0f);
  EXPECT_EQ(v[4], 2.0f);
  EXPECT_EQ(v[5], 3.0f);
  EXPECT_EQ(v[0], 10.0f);  // second x is 0: first x / m
  EXPECT_EQ(v[1], 6.0f);   // (64 + 128) / 32: y averaged although x was not
  EXPECT_EQ(v[6], 15.0f);
  EXPECT_EQ(v[7], 4.0f);
  EXPECT_EQ(rec.eye[0].tracked, 1);
}

TEST_F(Decoder, type200_with_zero_scale_gives_non_finite_values_not_a_failure) {
  TestReport r(200);
  r.u16(28, 400).u16(30, 0);
  const T_RESULTS_STRUCT rec = decode(r);
  EXPECT_TRUE(std::isinf(rec.eye[0].values[2]));
  EXPECT_TRUE(std::isnan(rec.eye[0].values[3]));
}

TEST_F(Decoder, type201_multiplies_signed_values_into_their_slots) {
  TestReport r(201);
  const int16_t raw[9] = {-64, 32, 1, 2, 3, 4, 5, 6, -7};
  for (size_t k = 0; k < 9; ++k) r.i16(22 + 24 + 2 * k, raw[k]);
  r.i16(22, -64);
  const T_RESULTS_STRUCT rec = decode(r);
  EXPECT_EQ(+rec.resultsType, 1);
  EXPECT_EQ(+rec.eye[0].values[4], -2.0f);
  const int slots[9] = {4, 5, 8, 9, 10, 11, 12, 13, 14};
  for (size_t k = 0; k < 9; ++k) EXPECT_EQ(+rec.eye[1].values[slots[k]], raw[k] * 0.03125f);
  EXPECT_EQ(+rec.eye[1].values[0], 0.0f);
}

TEST_F(Decoder, type203_computes_angles_only_for_tracked_eyes) {
  TestReport r(203);
  // Eye 0 tracked, gaze (1, 2, 2) in units of 2^-13; eye 1 untracked with the same gaze.
  for (size_t e = 0; e < 2; ++e) {
    const size_t b = 22 + 21 * e;
    r.u8(b, e == 0 ? 0x0A : 0x08);
    r.i32(b + 1, 8192).i32(b + 5, -8192).i32(b + 9, 8192).i32(b + 13, 16384).i32(b + 17, 16384);
  }
  r.u64(14, 0xFFFFFFFFFFFFFFFFull);  // bytes 14..21 are not part of the record
  const T_RESULTS_STRUCT rec = decode(r);
  const auto v = values_of(rec.eye[0]);
  EXPECT_EQ(v[4], 1.0f);
  EXPECT_EQ(v[5], -1.0f);
  EXPECT_EQ(v[8], 1.0f);
  EXPECT_EQ(v[9], 2.0f);
  EXPECT_EQ(v[10], 2.0f);
  EXPECT_FLOAT_EQ(v[11], static_cast<float>(std::asin(1.0 / 3.0) * 57.29577951308232));
  EXPECT_FLOAT_EQ(v[12], 45.0f);
  EXPECT_FLOAT_EQ(v[13], static_cast<float>(std::atan(0.5) * 57.29577951308232));
  EXPECT_FLOAT_EQ(v[14], static_cast<float>(std::asin(2.0 / 3.0) * 57.29577951308232));
  const auto u = values_of(rec.eye[1]);
  EXPECT_EQ(rec.eye[1].tracked, 0);
  EXPECT_EQ(u[8], 1.0f);
  EXPECT_EQ(u[11], 0.0f);
  EXPECT_EQ(u[12], 0.0f);
  EXPECT_EQ(u[13], 0.0f);
  EXPECT_EQ(u[14], 0.0f);
}

TEST_F(Decoder, type203_zero_gaze_leaves_angles_zero) {
  TestReport r(203);
  r.u8(22, 0x06);
  const T_RESULTS_STRUCT rec = decode(r);
  for (int s = 11; s <= 14; ++s) EXPECT_EQ(+rec.eye[0].values[s], 0.0f);
}

TEST_F(Decoder, replies_and_unknown_types_change_nothing) {
  TestReport r(400);
  r.u16(2, 26122).text(4, "Nov 12 2026");
  T_RESULTS_STRUCT rec;
  std::memset(&rec, 0xAB, sizeof rec);
  EXPECT_EQ(processBuffer(r.bytes, ctx, &rec), 0);
  EXPECT_EQ(+rec.size, 155);
  EXPECT_EQ(+rec.timestamp, 0u);
  const T_RESULTS_STRUCT before = last_result;
  EXPECT_EQ(processResult(r.bytes), 0);
  EXPECT_EQ(ringBuf_length(&results_buffer), 0);
  EXPECT_EQ(std::memcmp(&before, &last_result, sizeof before), 0);
}

TEST_F(Decoder, calibrated_flags_are_copied_into_each_eye) {
  ctx.calibrated[0] = 1;
  const T_RESULTS_STRUCT rec = decode(TestReport(202));
  EXPECT_EQ(rec.eye[0].calibrated, 1);
  EXPECT_EQ(rec.eye[1].calibrated, 0);
}

TEST_F(Decoder, pins_set_trigger_masks_across_both_eyes_and_the_first_event) {
  ctx.pinCount = 10;
  const uint8_t functions[10] = {5, 0, 5, 7, 0, 5, 8, 6, 0, 0};
  std::memcpy(ctx.pinFunctions, functions, sizeof functions);
  TestReport r(202);
  r.u32(2, (1u << 0) | (1u << 2) | (1u << 5) | (1u << 7) | (1u << 6));
  const T_RESULTS_STRUCT rec = decode(r);
  EXPECT_EQ(+rec.eye[0].triggerMask, 0b111u);
  EXPECT_EQ(rec.eye[0].firstTriggerPin, 2);  // pin 0 reads as "none"
  EXPECT_EQ(+rec.eye[1].triggerMask, 0b1000u);
  EXPECT_EQ(rec.eye[1].firstTriggerPin, 7);
  EXPECT_EQ(rec.eventPin, 6);  // pin 3 (function 7) is inactive
  // Inactive trigger pins still take their bit number.
  TestReport r2(202);
  r2.u32(2, 1u << 5);
  const T_RESULTS_STRUCT rec2 = decode(r2);
  EXPECT_EQ(+rec2.eye[0].triggerMask, 0b100u);
  EXPECT_EQ(rec2.eventPin, 0);
}

TEST_F(Decoder, pins_are_ignored_without_a_pin_table) {
  ctx.pinCount = 0;
  ctx.pinFunctions[1] = 5;
  TestReport r(202);
  r.u32(2, 0xFFFFFFFF);
  const T_RESULTS_STRUCT rec = decode(r);
  EXPECT_EQ(+rec.eye[0].triggerMask, 0u);
  EXPECT_EQ(rec.eventPin, 0);
}

TEST_F(Decoder, model3_paired_report_splits_with_timestamp_step_by_firmware) {
  ctx.model = 3;
  for (const uint16_t firmware : {uint16_t{26122}, uint16_t{26121}}) {
    ctx.firmwareVersion = firmware;
    TestReport r(200, 1);
    r.u64(8, 500).u16(16, 0x06).u16(22, 1).u16(28, 11).u16(16 + 24, 0x07).u16(22 + 24, 1)
        .u16(28 + 24, 22);
    EXPECT_EQ(processResult(r.bytes), 1);
    const auto recs = drain_ring();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(+recs[0].eye[0].values[2], 11.0f);
    EXPECT_EQ(+recs[1].eye[0].values[2], 22.0f);
    EXPECT_EQ(recs[1].eye[0].statusBit0, 1);
    EXPECT_EQ(+recs[0].eye[1].values[2], 0.0f);
    EXPECT_EQ(+recs[1].eye[1].values[2], 0.0f);
    EXPECT_EQ(+recs[0].timestamp, 500u);
    EXPECT_EQ(+recs[1].timestamp, firmware > 26121 ? 501u : 500u);
  }
}

TEST_F(Decoder, only_model3_with_marker_1_splits) {
  ctx.model = 3;
  TestReport unpaired(200, 0);
  unpaired.u16(22, 1).u16(28, 11).u16(22 + 24, 1).u16(28 + 24, 22);
  processResult(unpaired.bytes);
  auto recs = drain_ring();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(+recs[0].eye[1].values[2], 22.0f);
  ctx.model = 4;
  processResult(TestReport(202, 1).bytes);
  EXPECT_EQ(drain_ring().size(), 1u);
  ctx.model = 2;
  processResult(TestReport(200, 1).bytes);
  EXPECT_EQ(drain_ring().size(), 1u);
}

TEST_F(Decoder, recording_starts_at_the_first_timestamp_at_or_below_the_threshold) {
  tracking.storeResults = true;
  tracking.waitForStart = true;
  tracking.waitForStartTimestamp = 100;
  for (uint64_t ts : {150u, 101u, 100u, 5000u, 1u}) processResult(TestReport(202).u64(6, ts).bytes);
  EXPECT_FALSE(tracking.waitForStart);
  ASSERT_EQ(results_storage.count, 3);
  EXPECT_EQ(+results_storage.records.record(0).timestamp, 100u);
  EXPECT_EQ(+results_storage.records.record(2).timestamp, 1u);
  EXPECT_EQ(ringBuf_length(&results_buffer), 5);  // the ring gets every record
  EXPECT_EQ(+last_result.timestamp, 1u);
}

TEST_F(Decoder, paired_records_share_one_start_check_on_the_first_timestamp) {
  ctx.model = 3;
  ctx.firmwareVersion = 30000;
  tracking.storeResults = true;
  tracking.waitForStart = true;
  tracking.waitForStartTimestamp = 10;
  processResult(TestReport(200, 1).u64(8, 10).bytes);  // second record carries 11
  EXPECT_EQ(results_storage.count, 2);
}

TEST_F(Decoder, frame_rate_estimate_runs_on_models_1_to_3_only) {
  ctx.model = 4;
  const uint32_t before = timing.timingFrames;
  processResult(TestReport(202).bytes);
  EXPECT_EQ(timing.timingFrames, before);
  ctx.model = 1;
  timing = FrameTiming{};
  processResult(TestReport(200, 1).bytes);  // a pair counts two frames
  EXPECT_EQ(timing.timingFrames, 2u);
  for (int i = 0; i < 4; ++i) processResult(TestReport(200).bytes);
  EXPECT_EQ(timing.timingFrames, 0u);  // 6 frames: a new measuring window starts
  EXPECT_NE(timing.timingStart, 0);
}

}  // namespace
