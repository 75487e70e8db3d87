// SPDX-License-Identifier: GPL-3.0-or-later
// The six programming pages' sequences through the real driver against the
// simulated register: exact reads and writes per version, the shift-open
// guard, failures at a chosen table, and the values the pages derive.
#include "programming_pages.h"

#include "programming_fixture.h"

namespace termina::apptest {
namespace {

using namespace termina::app;
using List = std::vector<std::string>;

class Params : public ProgrammingTest, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(Params, ReadAndWriteEveryTableOfTheVersionInOrder) {
  const uint16_t v = GetParam();
  Start(v);
  m_sim->setTable(6, 0, "3");    // bit 0 set
  m_sim->setTable(7, 0, "255");  // every Z-report bit
  m_sim->setTable(9, 0, "1");
  m_sim->setTable(11, 0, "1");
  m_sim->setTable(13, 0, "2");
  m_sim->setTable(30, 0, "0");  // automatic payment on

  const ParamsRead r = ReadParams();
  ASSERT_FALSE(r.error);
  EXPECT_EQ(r.version, v);
  List reads = {"A5|0", Read(1, 0), Read(2, 0), Read(3, 0), Read(4, 0), Read(6, 0)};
  if (v >= 121) reads.insert(reads.end(), {Read(7, 0), Read(8, 0), Read(9, 0), Read(10, 0), Read(11, 0)});
  if (v >= 125) reads.insert(reads.end(), {Read(13, 0), Read(30, 0)});
  EXPECT_EQ(Ops(), reads);
  EXPECT_TRUE(r.values.noCashControl);
  const std::map<uint16_t, std::string> zMask = {{125, "15"}, {128, "63"}, {201, "255"}, {301, "255"}};
  if (v >= 121) { EXPECT_EQ(std::to_string(r.values.zReport), zMask.at(v)); }
  if (v >= 125) {
    EXPECT_EQ(r.values.displayType, 1u);
    EXPECT_EQ(r.values.design, 2u);
    EXPECT_TRUE(r.values.autoPayment);
  }

  m_sim->clearLog();
  ParamsValues p = r.values;
  p.cashDesk = "12";
  p.autoPayment = false;
  const ParamsWrite w = WriteParams(v, p);
  EXPECT_EQ(w.status, WriteStatus::Done);
  EXPECT_FALSE(w.error);
  EXPECT_FALSE(w.reread);
  List writes = {"A0", Write(1, 0, "12"), Write(2, 0, "0"), Write(3, 0, "0"), Write(4, 0, "0"), Write(6, 0, "1")};
  if (v >= 121)
    // Table 11 also on 201 and 301, where the box is hidden: the value read.
    writes.insert(writes.end(),
                  {Write(7, 0, zMask.at(v)), Write(8, 0, "0"), Write(9, 0, "1"), Write(10, 0, "0"), Write(11, 0, "1")});
  if (v >= 125) writes.insert(writes.end(), {Write(13, 0, "2"), Write(30, 0, "1")});
  writes.push_back("00");
  EXPECT_EQ(Ops(), writes);
  EXPECT_EQ(m_sim->table(1, 0), "12");
}

INSTANTIATE_TEST_SUITE_P(Versions, Params, ::testing::Values(120, 125, 128, 201, 301));

TEST_F(ProgrammingTest, ParamsShiftOpenWritesNothingAndReadsAgain) {
  Start(125);
  m_sim->setStatus(0, 0x04, 0);
  ParamsValues p;
  p.compactPrint = true;
  const ParamsWrite w = WriteParams(125, p);
  EXPECT_EQ(w.status, WriteStatus::ShiftOpen);
  ASSERT_TRUE(w.reread);
  EXPECT_FALSE(w.reread->error);
  const List ops = Ops();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[0], "A0");
  EXPECT_EQ(ops[1], "A5|0");  // the read sequence again
  for (const std::string& op : ops) EXPECT_TRUE(op.rfind("A2", 0) != 0 && op != "00") << op;
  EXPECT_EQ(m_sim->table(2, 0), "0");
}

TEST_F(ProgrammingTest, ParamsFailureEndsTheWritesAndTheRegisterIsReadBack) {
  Start(125);
  FailAt("A2 8");
  ParamsValues p;
  p.cashDesk = "5";
  p.compactPrint = true;
  const ParamsWrite w = WriteParams(125, p);
  ASSERT_EQ(w.error, 3);
  ASSERT_TRUE(w.reread);
  const List ops = Ops();
  const List head(ops.begin(), ops.begin() + 9);
  EXPECT_EQ(head, (List{"A0", Write(1, 0, "5"), Write(2, 0, "1"), Write(3, 0, "0"), Write(4, 0, "0"), Write(6, 0, "0"),
                        Write(7, 0, "0"), Write(8, 0, "0"), "A5|0"}));
  for (const std::string& op : ops) EXPECT_NE(op, "00");
  // What was written before the failure stays and shows.
  EXPECT_TRUE(w.reread->values.compactPrint);
  EXPECT_EQ(w.reread->values.cashDesk, "5");
}

TEST_F(ProgrammingTest, ParamsHiddenPartialCutIsNotWrittenWhenItCouldNotBeRead) {
  Start(201);
  m_sim->setTable(11, 0, "1");
  FailAt("A1 11");
  const ParamsRead r = ReadParams();
  ASSERT_EQ(r.error, 3);
  EXPECT_FALSE(r.values.partialCut);
  EXPECT_EQ(Ops().back(), Read(11, 0)) << "the reads end at the failure";
  m_sim->setFaults({});
  m_sim->clearLog();
  ASSERT_EQ(WriteParams(201, r.values).status, WriteStatus::Done);
  for (const std::string& w : Writes()) EXPECT_NE(w.substr(0, 3), "11|") << w;
  EXPECT_EQ(m_sim->table(11, 0), "1");
  EXPECT_EQ(Writes().back(), "30|0|1");
}

// Every (table, field) of the map that a version uses is there in the
// simulated register of that version.
TEST_F(ProgrammingTest, TheRegisterHasEveryTableOfTheMapForItsVersion) {
  for (uint16_t v : {120, 125, 128, 201, 301}) {
    if (m_sim) TRMA_ClosePort(), m_sim.reset();
    Start(v);
    for (const ConfigEntry& e : ConfigMap()) {
      if (!UsedOn(e, v)) continue;
      const uint16_t shift = e.table == kTableDepartments ? DepartmentOffset(v) : 0;
      for (uint16_t f = e.firstField; f <= e.lastField; ++f) {
        TRMA_STRING value{};
        EXPECT_NO_THROW(TRMA_ReadConfig(e.table, static_cast<uint16_t>(f + shift), &value))
            << "version " << v << " table " << e.table << " field " << f + shift;
      }
    }
  }
}

TEST(ParamsLayout, VersionRules) {
  const auto hides = [](uint16_t v, uint16_t id) {
    const auto ids = HiddenParamsControls(v);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
  };
  EXPECT_TRUE(hides(120, 1085) && hides(121, 1090) && hides(125, 1125) && hides(128, 11154));
  EXPECT_TRUE(hides(301, 1087) && hides(201, 1101) && !hides(201, 11153) && !hides(128, 1087));
  EXPECT_TRUE(ShowsRunningTotalAtShiftStart(201, false));
  EXPECT_FALSE(ShowsRunningTotalAtShiftStart(201, true) || ShowsRunningTotalAtShiftStart(128, false));
}

// ---- header and advertising text ------------------------------------------

TEST_F(ProgrammingTest, HeaderLinesAreSentAsTypedCutTo40ThenTheClockIsSet) {
  Start(201);
  const std::string long45 = "Магазин 1234567890123456789012345678901234567";  // 45 characters
  const std::array<std::string, 4> lines = {long45, "Касса", "", " "};
  ASSERT_EQ(WriteHeader(lines), WriteStatus::Done);
  const std::string cut = "Магазин 12345678901234567890123456789012";
  EXPECT_EQ(Ops(), (List{"A0", Write(20, 0, cut), Write(20, 1, "Касса"), Write(20, 2, ""), Write(20, 3, " "), "00"}));
  EXPECT_EQ(m_sim->table(20, 0), cut);
  EXPECT_EQ(m_sim->table(20, 3), " ");

  m_sim->clearLog();
  const LinesRead r = ReadHeader();
  EXPECT_EQ(r.lines, (std::vector<std::string>{cut, "Касса", "", " "}));
  EXPECT_EQ(Ops(), (List{Read(20, 0), Read(20, 1), Read(20, 2), Read(20, 3)}));

  m_sim->clearLog();
  ASSERT_EQ(WriteFooter({"Спасибо", "Ждем снова"}), WriteStatus::Done);
  EXPECT_EQ(Ops(), (List{"A0", Write(21, 0, "Спасибо"), Write(21, 1, "Ждем снова")})) << "no clock";
}

TEST_F(ProgrammingTest, TextPagesShiftOpenAndFailures) {
  Start(125);
  FailAt("A1 20 2");
  const LinesRead r = ReadHeader();
  EXPECT_EQ(r.error, 3);
  EXPECT_EQ(r.lines, std::vector<std::string>(4)) << "nothing read before the failure is shown";
  EXPECT_EQ(Ops().size(), 3u);

  m_sim->setFaults({});
  m_sim->setStatus(0, 0x04, 0);
  m_sim->clearLog();
  EXPECT_EQ(WriteHeader({"a", "b", "c", "d"}), WriteStatus::ShiftOpen);
  EXPECT_EQ(WriteFooter({"a", "b"}), WriteStatus::ShiftOpen);
  EXPECT_EQ(WritePayments({}), WriteStatus::ShiftOpen);
  EXPECT_EQ(WriteTaxes(125, {}), WriteStatus::ShiftOpen);
  EXPECT_EQ(WriteDepartments(125, {}, ""), WriteStatus::ShiftOpen);
  EXPECT_EQ(Ops(), List(5, "A0"));

  // A failed write is thrown; the lines before it stay written.
  m_sim->setStatus(0, 0, 0);
  FailAt("A2 20 2");
  m_sim->clearLog();
  EXPECT_THROW(WriteHeader({"x", "y", "z", "w"}), uint16_t);
  EXPECT_EQ(Ops().back(), Write(20, 2, "z"));
  EXPECT_EQ(m_sim->table(20, 1), "y");
}

// ---- payment types ---------------------------------------------------------

TEST_F(ProgrammingTest, PaymentTypeZeroIsNeverWritten) {
  Start(128);
  std::array<std::string, 16> names;
  for (size_t i = 0; i < names.size(); ++i) names[i] = "ОПЛАТА " + std::to_string(i);
  names[0] = "ДЕНЬГИ";
  ASSERT_EQ(WritePayments(names), WriteStatus::Done);
  List expected{"A0"};
  for (int f = 1; f < 16; ++f) expected.push_back(Write(22, f, "ОПЛАТА " + std::to_string(f)));
  EXPECT_EQ(Ops(), expected);
  EXPECT_EQ(m_sim->table(22, 0), "НАЛИЧНЫЕ");

  FailAt("A1 22 5");
  const PaymentsRead r = ReadPayments();
  EXPECT_EQ(r.error, 3);
  EXPECT_EQ(r.names[0], "НАЛИЧНЫЕ");
  EXPECT_EQ(r.names[4], "ОПЛАТА 4") << "names read before the failure are kept";
  EXPECT_EQ(r.names[5], "");
}

// ---- taxes -------------------------------------------------------------------

TEST_F(ProgrammingTest, TaxesWriteOneMaskIntoTable12Fields0To5) {
  Start(125);
  TaxValues t;
  for (int i = 0; i < 6; ++i) {
    t.names[i] = "НАЛОГ " + std::to_string(i);
    t.rates[i] = std::to_string(i) + ".5";
  }
  t.printZ = t.printReceipt = true;
  t.noZeroSums = true;  // not a bit of version 125
  t.calculation = 0;
  t.taxLine = "НАЛОГИ:";
  ASSERT_EQ(WriteTaxes(125, t), WriteStatus::Done);
  List expected{"A0"};
  for (int i = 0; i < 6; ++i)
    expected.insert(expected.end(), {Write(24, i, std::to_string(i) + ".5"), Write(23, i, "НАЛОГ " + std::to_string(i)),
                                     Write(12, i, "19")});
  expected.push_back(Write(25, 0, "НАЛОГИ:"));
  EXPECT_EQ(Ops(), expected);

  EXPECT_EQ(TaxOptionMask(128, t), 23);
  t.calculation.reset();
  EXPECT_EQ(TaxOptionMask(128, t), 7) << "no selection leaves bit 4 clear";
  EXPECT_EQ(TaxOptionMask(120, t), 0);
}

// As with table 11: options hidden because their read failed are not
// written back from the page's empty controls.
TEST_F(ProgrammingTest, TaxOptionsThatCouldNotBeReadAreNotOverwritten) {
  Start(201);
  m_sim->setTable(12, 0, "19");
  m_sim->setTable(25, 0, "НАЛОГИ:");
  FailAt("A1 25");
  const TaxesRead r = ReadTaxes();
  ASSERT_EQ(r.error, 3);
  EXPECT_FALSE(r.showOptions);
  m_sim->setFaults({});
  m_sim->clearLog();
  ASSERT_EQ(WriteTaxes(201, r.values), WriteStatus::Done);
  for (const std::string& w : Writes()) {
    EXPECT_NE(w.substr(0, 3), "12|") << w;
    EXPECT_NE(w.substr(0, 3), "25|") << w;
  }
  EXPECT_EQ(m_sim->table(12, 0), "19");
  EXPECT_EQ(m_sim->table(25, 0), "НАЛОГИ:");
  EXPECT_EQ(Writes().size(), 12u) << "names and rates are written";
}

TEST_F(ProgrammingTest, TaxesReadTheOptionsFrom125And1127From128) {
  for (uint16_t v : {120, 125, 128}) {
    SCOPED_TRACE(v);
    if (m_sim) TRMA_ClosePort(), m_sim.reset();
    Start(v);
    for (uint16_t f = 0; f < 6; ++f) m_sim->setTable(12, f, "23");  // bits 0, 1, 2, 4
    m_sim->setTable(25, 0, "ИТОГО НАЛОГОВ");
    const TaxesRead r = ReadTaxes();
    ASSERT_FALSE(r.error);
    List expected{"A5|0"};
    for (int i = 0; i < 6; ++i) expected.insert(expected.end(), {Read(23, i), Read(24, i)});
    if (v >= 125) expected.insert(expected.end(), {Read(25, 0), Read(12, 0)});
    EXPECT_EQ(Ops(), expected);
    EXPECT_EQ(r.values.names[0], "НДС 18%");
    EXPECT_EQ(r.values.rates[1], "10.00");
    EXPECT_EQ(r.showOptions, v >= 125);
    EXPECT_EQ(r.values.printZ && r.values.printReceipt, v >= 125);
    EXPECT_EQ(r.values.calculation, v >= 125 ? std::optional<unsigned>(0) : std::nullopt);
    EXPECT_EQ(r.showNoZeroSums, v >= 128);
    EXPECT_EQ(r.values.noZeroSums, v >= 128);
  }
  FailAt("A1 25");
  const TaxesRead bad = ReadTaxes();
  EXPECT_EQ(bad.error, 3);
  EXPECT_FALSE(bad.showOptions || bad.showNoZeroSums);
  EXPECT_EQ(bad.values.names[5], "") << "the sim's sixth tax name is empty";
  EXPECT_EQ(bad.values.rates[0], "18.00") << "boxes read before the failure keep their values";
}

// ---- departments -----------------------------------------------------------

TEST_F(ProgrammingTest, DepartmentRowsUseFields1To6From201) {
  for (uint16_t v : {125, 201}) {
    SCOPED_TRACE(v);
    if (m_sim) TRMA_ClosePort(), m_sim.reset();
    Start(v);
    const int off = v >= 201 ? 1 : 0;
    const DepartmentsRead r = ReadDepartments();
    ASSERT_FALSE(r.error);
    EXPECT_EQ(r.offset, off);
    EXPECT_EQ(r.names[0], "ОТДЕЛ " + std::to_string(off));
    EXPECT_EQ(DepartmentRowLabels(v)[0], std::to_string(off));
    EXPECT_EQ(DepartmentRowLabels(v)[5], std::to_string(5 + off));
    List expected{"A5|0"};
    for (int i = 0; i < 6; ++i) expected.push_back(Read(26, off + i));
    expected.push_back(Read(27, 0));
    EXPECT_EQ(Ops(), expected);

    m_sim->clearLog();
    std::array<std::string, 6> names{"А", "Б", "В", "Г", "Д", std::string(45, 'x')};
    ASSERT_EQ(WriteDepartments(v, names, "РАЗДЕЛ"), WriteStatus::Done);
    List writes{"A0"};
    for (int i = 0; i < 6; ++i) writes.push_back(Write(26, off + i, i < 5 ? names[i] : std::string(40, 'x')));
    writes.push_back(Write(27, 0, "РАЗДЕЛ"));
    EXPECT_EQ(Ops(), writes);
  }
}

}  // namespace
}  // namespace termina::apptest
