// One field value through the line-break flattening, the quoting and the code
// page 932 conversion, as every field of every record goes (EncodeFieldTo,
// straight into a byte buffer), and the text-form steps on their own.
#include <benchmark/benchmark.h>

#include <string>

#include "text/codepage932.h"
#include "csv/field_encoding.h"

namespace {

// Typical values of the record: a short name, a phone number, a company name,
// an address line and a multi-line note with a quote in it.
const std::u16string kShortName = u"佐藤";
const std::u16string kPhone = u"090-1234-5678";
const std::u16string kCompany = u"株式会社ネクスト・ソリューションズ";
const std::u16string kStreet = u"グランドタワー12階\r\n丸の内1-1-1";
const std::u16string kNote =
    u"2019年の展示会で名刺交換。\r\n請求書は月末締め、翌月払い。\r\n"
    u"「至急」の件は携帯へ\r\nPrefers \"English\" for contracts.";

void EncodeField(benchmark::State& state, const std::u16string& value) {
  std::string bytes(csv::EncodedFieldRoom(value.size()), '\0');
  for (auto _ : state) {
    char* end = csv::EncodeFieldTo(value, bytes.data());
    benchmark::DoNotOptimize(end);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * value.size() * 2));
  state.SetItemsProcessed(state.iterations());
}

void BM_FieldEmpty(benchmark::State& state) { EncodeField(state, std::u16string()); }
void BM_FieldShortName(benchmark::State& state) { EncodeField(state, kShortName); }
void BM_FieldPhone(benchmark::State& state) { EncodeField(state, kPhone); }
void BM_FieldCompany(benchmark::State& state) { EncodeField(state, kCompany); }
void BM_FieldStreet(benchmark::State& state) { EncodeField(state, kStreet); }
void BM_FieldNote(benchmark::State& state) { EncodeField(state, kNote); }

// The two steps alone, to see which one a change moves.
void BM_AppendEncodedFieldNote(benchmark::State& state) {
  std::u16string line;
  for (auto _ : state) {
    line.clear();
    csv::AppendEncodedField(kNote, line);
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Cp932EncodeNote(benchmark::State& state) {
  std::string bytes;
  for (auto _ : state) {
    bytes.clear();
    cp932::Encode(kNote, bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_FieldEmpty);
BENCHMARK(BM_FieldShortName);
BENCHMARK(BM_FieldPhone);
BENCHMARK(BM_FieldCompany);
BENCHMARK(BM_FieldStreet);
BENCHMARK(BM_FieldNote);
BENCHMARK(BM_AppendEncodedFieldNote);
BENCHMARK(BM_Cp932EncodeNote);
