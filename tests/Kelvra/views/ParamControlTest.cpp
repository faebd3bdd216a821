// Handlers against the simulated camera "Quenta14Camera" and its filters.

#include "ParamTestSupport.h"

#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSpinBox>

#include <climits>

using Kelvra::BoolParamControl;
using Kelvra::EnumParamControl;
using Kelvra::EnumParameterView;
using Kelvra::FloatParamControl;
using Kelvra::IntegerParamControl;
using Kelvra::ParamControl;
using Kelvra::RangeParamControl;
using Kelvra::RangeParameterView;
using Kelvra::StrobeBoolParamControl;
using Kelvra::UnsignedIntegerParamControl;
using ParamTest::CameraFixture;
using Tavik::detail::ParamKind;

namespace {

template <class T> bool isA(const std::shared_ptr<ParamControl>& h)
{
    return dynamic_cast<T*>(h.get()) != nullptr;
}

// The first filter parameter (of any filter the system offers) that the
// given kind class accepts, with its filter.
template <class Kind> std::pair<Tavik::FilterPtr, Tavik::ParameterPtr> findFilterParam(Tavik::CameraSystem& system)
{
    for (const auto& name : system.getSupportedFilters())
        for (int type = 0; type < Tavik::FRAME_TYPE_COUNT; ++type)
            if (auto filter = system.createFilter(name, type))
                for (const auto& [key, p] : filter->parameters())
                    if (Kind::typeCast(p))
                        return {filter, p};
    return {};
}

} // namespace

// --- factory -------------------------------------------------------------------

using Factory = CameraFixture;

TEST_F(Factory, CameraParametersGetTheHandlerOfTheirKind)
{
    auto strobe = handler("soft_reset");
    ASSERT_TRUE(isA<StrobeBoolParamControl>(strobe));
    EXPECT_EQ(strobe->type, "Bool");

    auto flag = handler("dealias_en");
    ASSERT_TRUE(isA<BoolParamControl>(flag));
    EXPECT_FALSE(isA<StrobeBoolParamControl>(flag));
    EXPECT_EQ(flag->type, "Bool");

    auto power = handler("illum_power");
    ASSERT_TRUE(isA<EnumParamControl>(power));
    EXPECT_FALSE(isA<BoolParamControl>(power));
    EXPECT_EQ(power->type, "Int"); // enums carry the integer label

    auto offset = handler("depth_offset");
    ASSERT_TRUE(isA<IntegerParamControl>(offset));
    EXPECT_EQ(offset->type, "Int");

    auto time = handler("intg_time");
    ASSERT_TRUE(isA<UnsignedIntegerParamControl>(time));
    EXPECT_EQ(time->type, "Uint");

    auto volt = handler("mix_volt");
    ASSERT_TRUE(isA<FloatParamControl>(volt));
    EXPECT_EQ(volt->type, "Float");
    EXPECT_EQ(volt->engine, camera);
}

TEST_F(Factory, UnknownNamesAndMissingCamerasGiveNothing)
{
    EXPECT_EQ(handler("no_such_param"), nullptr);
    EXPECT_EQ(ParamControl::getParamControl(Tavik::DepthCameraPtr(), "mix_volt"), nullptr);
    EXPECT_EQ(ParamControl::getParamControl(camera, camera->getParam("mix_volt"), nullptr, 7), nullptr);
}

TEST_F(Factory, KindTablesAreLookedUpPerParameterSet)
{
    // A camera kind is unknown to the filter table and the other way round.
    EXPECT_EQ(
        ParamControl::getParamControl(camera, camera->getParam("mix_volt"), nullptr, ParamControl::PARAM_TYPE_FILTER),
        nullptr);

    auto [filter, boolParam] = findFilterParam<Tavik::BoolFilterParameter>(system);
    ASSERT_TRUE(filter) << "no filter with a bool parameter";
    auto h = ParamControl::getParamControl(filter, boolParam, nullptr, ParamControl::PARAM_TYPE_FILTER);
    // Every bool filter parameter is matched by the "StrobeBool" entry.
    EXPECT_TRUE(isA<StrobeBoolParamControl>(h));
    EXPECT_EQ(h->type, "Bool");
    EXPECT_EQ(ParamControl::getParamControl(filter, boolParam), nullptr);

    auto [filter2, floatParam] = findFilterParam<Tavik::FloatFilterParameter>(system);
    ASSERT_TRUE(filter2);
    EXPECT_TRUE(isA<FloatParamControl>(
        ParamControl::getParamControl(filter2, floatParam, nullptr, ParamControl::PARAM_TYPE_FILTER)));
}

// The numeric kinds share a class template, which Qt does not see: each
// still reports its own class and casts through Qt to itself and to the range base.
TEST_F(Factory, NumericHandlersKeepTheirQtClass)
{
    auto offset = handler("depth_offset");
    auto time = handler("intg_time");
    auto volt = handler("mix_volt");
    EXPECT_STREQ(offset->metaObject()->className(), "Kelvra::IntegerParamControl");
    EXPECT_STREQ(time->metaObject()->className(), "Kelvra::UnsignedIntegerParamControl");
    EXPECT_STREQ(volt->metaObject()->className(), "Kelvra::FloatParamControl");
    EXPECT_TRUE(qobject_cast<IntegerParamControl*>(offset.get()));
    EXPECT_TRUE(qobject_cast<UnsignedIntegerParamControl*>(time.get()));
    EXPECT_TRUE(qobject_cast<FloatParamControl*>(volt.get()));
    EXPECT_FALSE(qobject_cast<FloatParamControl*>(offset.get()));
    for (const auto& h : {offset, time, volt})
        EXPECT_TRUE(qobject_cast<RangeParamControl*>(h.get()));
}

TEST_F(Factory, HandlerWithAParentIsFreedOnce)
{
    auto* parent = new QObject();
    auto h = ParamControl::getParamControl(camera, camera->getParam("mix_volt"), parent);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->parent(), parent);
    delete parent; // takes the handler along; the pointer must not free it again
    h.reset();
    SUCCEED();
}

// --- set: compare before write -------------------------------------------------

using Writing = CameraFixture;

TEST_F(Writing, SameValueIsNotWrittenOtherValueIs)
{
    auto h = handler("intg_time");
    const auto [ok, current] = h->get();
    ASSERT_TRUE(ok);
    EXPECT_EQ(current, QVariant(200u));

    auto same = h->set(QVariant(200));
    EXPECT_TRUE(same.ok);
    EXPECT_EQ(same.value, QVariant(200));
    EXPECT_EQ(calls("intg_time"), 0);

    auto other = h->set(QVariant(350));
    EXPECT_TRUE(other.ok);
    EXPECT_EQ(other.value.toUInt(), 350u);
    EXPECT_EQ(calls("intg_time"), 1);
    EXPECT_EQ(h->get().value.toUInt(), 350u);
}

TEST_F(Writing, RefusalAndFailedReadComeBackFromTheSetter)
{
    auto h = handler("mix_volt");
    sim().failNext("set:mix_volt");
    auto refused = h->set(QVariant(1.5));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(calls("mix_volt"), 1);
    EXPECT_FLOAT_EQ(h->get().value.toFloat(), 2.75f);

    // A failed read always leads to a write, even of the value held.
    sim().failNext("get:mix_volt");
    EXPECT_TRUE(h->set(QVariant(2.75)).ok);
    EXPECT_EQ(calls("mix_volt"), 2);
}

TEST_F(Writing, FloatsCompareExactly)
{
    auto h = handler("illum_volt");
    ASSERT_TRUE(h->set(QVariant(0.1)).ok); // a double from a spin box
    EXPECT_EQ(calls("illum_volt"), 1);
    EXPECT_TRUE(h->set(QVariant(0.1)).ok); // the float read equals float(0.1)
    EXPECT_EQ(calls("illum_volt"), 1);
    EXPECT_TRUE(h->set(QVariant(0.1001)).ok); // no tolerance
    EXPECT_EQ(calls("illum_volt"), 2);
}

TEST_F(Writing, EnumAndBoolCompareToo)
{
    auto power = handler("illum_power");
    EXPECT_TRUE(power->set(QVariant(2)).ok);
    EXPECT_EQ(calls("illum_power"), 0);
    EXPECT_TRUE(power->set(QVariant(1)).ok);
    EXPECT_EQ(calls("illum_power"), 1);
    EXPECT_FALSE(power->set(QVariant(7)).ok); // not an allowed value: refused by the camera
    EXPECT_EQ(calls("illum_power"), 2);

    auto flag = handler("dealias_en");
    EXPECT_TRUE(flag->set(QVariant(false)).ok);
    EXPECT_EQ(calls("dealias_en"), 0);
    EXPECT_TRUE(flag->set(QVariant(true)).ok);
    EXPECT_EQ(calls("dealias_en"), 1);
    EXPECT_EQ(flag->get().value, QVariant(true));
}

TEST_F(Writing, StrobeWritesEveryTimeWithoutReading)
{
    auto h = handler("soft_reset");
    EXPECT_TRUE(h->set(QVariant(true)).ok);
    EXPECT_TRUE(h->set(QVariant(true)).ok);
    EXPECT_EQ(calls("soft_reset"), 2);

    sim().failNext("set:soft_reset");
    EXPECT_FALSE(h->set(QVariant(true)).ok);
    EXPECT_EQ(calls("soft_reset"), 3);
}

TEST_F(Writing, ReleasedHandlerRefusesWithoutCalling)
{
    auto h = handler("intg_time");
    auto strobe = handler("soft_reset");
    h->releaseDepthCamera();
    strobe->releaseDepthCamera();
    EXPECT_EQ(h->engine, nullptr);
    ASSERT_TRUE(h->param);

    auto r = h->set(QVariant(500));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.value, QVariant(500));
    EXPECT_FALSE(strobe->set(QVariant(true)).ok);
    EXPECT_EQ(calls("intg_time"), 0);
    EXPECT_EQ(calls("soft_reset"), 0);
    EXPECT_TRUE(h->get().ok); // reading still goes through the parameter
}

TEST_F(Writing, FilterBoolChoiceIsWrittenWithoutReading)
{
    auto [filter, p] = findFilterParam<Tavik::BoolFilterParameter>(system);
    ASSERT_TRUE(filter);
    auto h = ParamControl::getParamControl(filter, p, nullptr, ParamControl::PARAM_TYPE_FILTER);
    const std::string name = p->name();
    const bool held = h->get().value.toBool();

    sim().failNext("get:" + name);
    EXPECT_TRUE(h->set(QVariant(held)).ok);
    EXPECT_FALSE(h->get().ok) << "set read the parameter first";
    EXPECT_TRUE(h->set(QVariant(!held)).ok);
    EXPECT_EQ(h->get().value.toBool(), !held);
}

// --- names, values and help texts ----------------------------------------------

using Texts = CameraFixture;

TEST_F(Texts, DisplayNameFallsBackToName)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto unnamed = ParamTest::addParam(engine, ParamTest::makeSpec(ParamKind::Uint, "gain_code", 0, 7, 1));
    EXPECT_EQ(ParamControl::getParamControl(engine, unnamed)->getDisplayName(), "gain_code");
    EXPECT_EQ(handler("mix_volt")->getDisplayName(), "Mixing Voltage");
    EXPECT_EQ(handler("mix_volt")->getName(), "mix_volt");
}

TEST_F(Texts, HelpTextOfRegisterParameter)
{
    EXPECT_EQ(handler("ma")->getDescription(),
              "ma [RW] Dealiasing Coefficient 1\n\nDealiasing coefficient of frequency 1\n\nRegister: 0x1a [7:4]\n\n"
              "Current Value: 3\nLimits: [1, 15]");
}

TEST_F(Texts, HelpTextBreaksLinesAndTagsAccess)
{
    EXPECT_TRUE(handler("intg_time")
                    ->getDescription()
                    .startsWith("intg_time [RW] Integration Time\n\nIntegration time\nper sub frame\n\n"));
    EXPECT_TRUE(
        handler("chip_temp")->getDescription().startsWith("chip_temp [RO] Chip Temperature\n\nCurrent Value: "));
    // Write-only: no value to read, only the list.
    EXPECT_EQ(handler("soft_reset")->getDescription(),
              "soft_reset [WO] Soft Reset\n\nRestarts the sensor\nwithout reconnecting\n\n"
              "Possible Values: \nFalse\nTrue\n");
}

TEST_F(Texts, RangeHelpTextWithFloatsInShortestForm)
{
    auto h = handler("illum_volt");
    EXPECT_EQ(h->getDescription(),
              "illum_volt [RW] Illumination Voltage\n\nSupply of the light source\n\n"
              "Current Value: 2.5V\nLimits: [0.0V, 10.0V]");
    ASSERT_TRUE(h->set(QVariant(0.1)).ok);
    EXPECT_TRUE(h->getDescription().contains("Current Value: 0.1V\n"));

    sim().failNext("get:illum_volt");
    EXPECT_TRUE(h->getDescription().endsWith("light source\n\nLimits: [0.0V, 10.0V]"));
}

TEST_F(Texts, EnumLabelsAndHelpText)
{
    auto h = handler("illum_power");
    EXPECT_EQ(h->getDisplayValue(QVariant(2)), "2 (High)");
    EXPECT_EQ(h->getDisplayValue(QVariant(5)), "(Unknown)");
    EXPECT_EQ(h->getDisplayValue(), "2 (High)");
    EXPECT_TRUE(
        h->getDescription().endsWith("Current Value: 2\nPossible Values: \n0 -> Off\n1 -> Low (short)\n2 -> High\n"));

    // A given value is shown without reading: the injected failure stays.
    sim().failNext("get:illum_power");
    EXPECT_EQ(h->getDisplayValue(QVariant(0)), "0 (Off)");
    EXPECT_EQ(h->getDisplayValue(), "(Unknown)");
}

TEST_F(Texts, BoolLabelsAndTextValues)
{
    auto h = handler("dealias_en");
    EXPECT_EQ(h->getDisplayValue(QVariant(true)), "True (On)");
    EXPECT_EQ(h->getDisplayValue(QVariant(false)), "False (Off)");
    EXPECT_EQ(h->getDisplayValue(QVariant(QStringLiteral("abc"))), "True (On)");
    EXPECT_EQ(h->getDisplayValue(QVariant(QStringLiteral("false"))), "True (On)");
    EXPECT_EQ(h->getDisplayValue(QVariant(QString())), "False (Off)");
    EXPECT_EQ(h->getDisplayValue(), "False (Off)");
}

TEST_F(Texts, RangeDisplayValueUsesFormatAndUnit)
{
    EXPECT_EQ(handler("depth_offset")->getDisplayValue(), "12mm");
    EXPECT_EQ(handler("mix_volt")->getDisplayValue(), "2.75V");
    EXPECT_EQ(handler("intg_time")->getDisplayValue(), "200us");
    EXPECT_EQ(handler("quad_cnt_max")->getDisplayValue(), "4");

    auto h = handler("depth_offset");
    sim().failNext("get:depth_offset");
    EXPECT_EQ(h->getDisplayValue(QVariant(0)), "0mm");
    EXPECT_EQ(h->getDisplayValue(), "(Unknown)");
}

// --- compact editors built by the handlers --------------------------------------

using HandlerEditors = CameraFixture;

TEST_F(HandlerEditors, EnumComboListsLabelsAtCurrentValue)
{
    std::unique_ptr<QWidget> w(handler("illum_power")->getDisplayWidget());
    auto* combo = qobject_cast<EnumParameterView*>(w.get());
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "0 (Off)");
    EXPECT_EQ(combo->itemText(1), "1 (Low)");
    EXPECT_EQ(combo->itemText(2), "2 (High)");
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(combo->getValue(), QVariant(2));

    std::unique_ptr<QWidget> b(handler("dealias_en")->getDisplayWidget());
    auto* boolCombo = qobject_cast<EnumParameterView*>(b.get());
    ASSERT_NE(boolCombo, nullptr);
    EXPECT_EQ(boolCombo->itemText(0), "False (Off)");
    EXPECT_EQ(boolCombo->itemText(1), "True (On)");
    EXPECT_EQ(boolCombo->values, (QVariantList{false, true}));
}

TEST_F(HandlerEditors, UnreadableValueStartsAtFirstValueOrZero)
{
    sim().failNext("get:illum_power");
    std::unique_ptr<QWidget> w(handler("illum_power")->getDisplayWidget());
    EXPECT_EQ(qobject_cast<EnumParameterView*>(w.get())->currentIndex(), 0);

    sim().failNext("get:depth_offset");
    std::unique_ptr<QWidget> r(handler("depth_offset")->getDisplayWidget());
    auto* range = qobject_cast<RangeParameterView*>(r.get());
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->getValue(), QVariant(0));
    auto* spin = qobject_cast<QSpinBox*>(range->spinbox);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), -500);
    EXPECT_EQ(spin->maximum(), 500);
}

TEST_F(HandlerEditors, NumericKindsPickTheirSpinBox)
{
    std::unique_ptr<QWidget> u(handler("intg_time")->getDisplayWidget());
    EXPECT_NE(qobject_cast<QSpinBox*>(qobject_cast<RangeParameterView*>(u.get())->spinbox), nullptr);
    std::unique_ptr<QWidget> f(handler("mix_volt")->getDisplayWidget());
    auto* view = qobject_cast<RangeParameterView*>(f.get());
    auto* dspin = qobject_cast<QDoubleSpinBox*>(view->spinbox);
    ASSERT_NE(dspin, nullptr);
    EXPECT_DOUBLE_EQ(dspin->value(), 2.75);
    EXPECT_EQ(dspin->decimals(), 2);

    // Only numeric kinds have a slider editor.
    EXPECT_EQ(handler("illum_power")->getDetailedDisplayWidget(), nullptr);
    std::unique_ptr<QWidget> d(handler("intg_time")->getDetailedDisplayWidget());
    EXPECT_NE(qobject_cast<Kelvra::RangeParameterDetailedView*>(d.get()), nullptr);
}

// --- shapes the simulated devices lack -------------------------------------------

TEST(EdgeParameters, EmptyEnumListGivesNoCurrentItemAndNoEmission)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto s = ParamTest::makeSpec(ParamKind::Enum, "empty_mode", 0, 0, 0);
    auto p = ParamTest::addParam(engine, s);
    auto h = ParamControl::getParamControl(engine, p);
    ASSERT_TRUE(isA<EnumParamControl>(h));

    for (bool readable : {true, false}) {
        if (!readable)
            engine->failNext("get:empty_mode");
        std::unique_ptr<QWidget> w(h->getDisplayWidget());
        auto* combo = qobject_cast<EnumParameterView*>(w.get());
        ASSERT_NE(combo, nullptr);
        QSignalSpy spy(combo, &EnumParameterView::paramValueChanged);
        EXPECT_EQ(combo->count(), 0);
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_FALSE(combo->getValue().isValid());
        combo->indexChanged(0);
        EXPECT_EQ(spy.count(), 0);
    }
    EXPECT_EQ(h->getDisplayValue(), "(Unknown)");
    EXPECT_TRUE(h->getDescription().endsWith("Possible Values: \n"));
}

TEST(EdgeParameters, UnsignedLimitsAboveInt32AreClampedInTheCompactEditor)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto p = ParamTest::addParam(engine, ParamTest::makeSpec(ParamKind::Uint, "big", 10, 4000000000.0, 3000000000.0));
    auto h = ParamControl::getParamControl(engine, p);
    ASSERT_TRUE(isA<UnsignedIntegerParamControl>(h));
    EXPECT_EQ(h->getDisplayValue(), "3000000000");

    std::unique_ptr<QWidget> w(h->getDisplayWidget());
    auto* view = qobject_cast<RangeParameterView*>(w.get());
    auto* spin = qobject_cast<QSpinBox*>(view->spinbox);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), 10);
    EXPECT_EQ(spin->maximum(), INT_MAX);
    EXPECT_EQ(spin->value(), INT_MAX);
}

TEST(EdgeParameters, WholeFloatsAndLargeFloatsKeepTheirPlainForm)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto p = ParamTest::addParam(engine, ParamTest::makeSpec(ParamKind::Float, "gain", 0.0, 1e20, 1000000.0, "x"));
    auto h = ParamControl::getParamControl(engine, p);
    EXPECT_TRUE(h->getDescription().endsWith("Current Value: 1000000.0x\nLimits: [0.0x, 1e+20x]"));
    ASSERT_TRUE(h->set(QVariant(0.00001)).ok);
    EXPECT_TRUE(h->getDescription().contains("Current Value: 1e-05x\n"));
    ASSERT_TRUE(h->set(QVariant(-12.5)).ok); // clamped by the engine to 0
    EXPECT_TRUE(h->getDescription().contains("Current Value: 0.0x\n"));
    ASSERT_TRUE(h->set(QVariant(123.456)).ok);
    EXPECT_TRUE(h->getDescription().contains("Current Value: 123.456x\n"));
    EXPECT_EQ(h->getDisplayValue(QVariant(1.5)), "1.50x");
}

TEST(EdgeParameters, ReadOnlyParametersGetEditorsThatOnlyShow)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto readOnly = [&](Tavik::detail::ParamSpec spec) {
        spec.io = Tavik::Parameter::IO_READ_ONLY;
        return ParamControl::getParamControl(engine, ParamTest::addParam(engine, spec));
    };
    auto temperature = readOnly(ParamTest::makeSpec(ParamKind::Float, "temperature", -40.0, 125.0, 35.0, "C"));
    auto modeSpec = ParamTest::makeSpec(ParamKind::Enum, "state", 0, 1, 1);
    modeSpec.allowed = {0, 1};
    modeSpec.meanings = {"Idle", "Busy"};
    auto state = readOnly(modeSpec);
    auto gain = ParamControl::getParamControl(
        engine, ParamTest::addParam(engine, ParamTest::makeSpec(ParamKind::Float, "gain", 0.0, 10.0, 1.0)));
    ASSERT_TRUE(temperature && state && gain);
    EXPECT_TRUE(temperature->isReadOnly());
    EXPECT_FALSE(gain->isReadOnly());

    // The compact editor shows the value and reports no edit.
    std::unique_ptr<QWidget> w(temperature->getDisplayWidget());
    auto* view = qobject_cast<RangeParameterView*>(w.get());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->spinbox->isReadOnly());
    EXPECT_EQ(view->spinbox->buttonSymbols(), QAbstractSpinBox::NoButtons);
    QSignalSpy edits(view, &RangeParameterView::paramValueChanged);
    view->stepBy(view->spinbox, 1);
    view->editFinished();
    EXPECT_EQ(edits.count(), 0);
    EXPECT_DOUBLE_EQ(view->getValue().toDouble(), 35.0);

    // The slider editor too.
    std::unique_ptr<QWidget> d(temperature->getDetailedDisplayWidget());
    auto* detailed = qobject_cast<Kelvra::RangeParameterDetailedView*>(d.get());
    ASSERT_TRUE(detailed);
    EXPECT_TRUE(detailed->isReadOnly());
    EXPECT_FALSE(detailed->slider->isEnabled());
    EXPECT_TRUE(detailed->spinbox->isReadOnly());

    std::unique_ptr<QWidget> c(state->getDisplayWidget());
    auto* combo = qobject_cast<EnumParameterView*>(c.get());
    ASSERT_TRUE(combo);
    EXPECT_FALSE(combo->isEnabled());
    EXPECT_EQ(combo->currentIndex(), 1);

    // A writable one stays editable.
    std::unique_ptr<QWidget> g(gain->getDisplayWidget());
    auto* gainView = qobject_cast<RangeParameterView*>(g.get());
    ASSERT_TRUE(gainView);
    EXPECT_FALSE(gainView->spinbox->isReadOnly());
    std::unique_ptr<QWidget> gd(gain->getDetailedDisplayWidget());
    EXPECT_TRUE(qobject_cast<Kelvra::RangeParameterDetailedView*>(gd.get())->slider->isEnabled());
}
