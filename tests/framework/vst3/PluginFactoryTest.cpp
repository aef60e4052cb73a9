// The factory as a host sees it: class records in all three forms, instance creation, counting.
#include "framework/vst3/PluginFactory.h"

#include "framework/vst3/SingleComponentEffect.h"
#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Steinberg;

namespace {

int created = 0;

FUnknown* CreateEffect(void*)
{
    ++created;
    return static_cast<Vst::IAudioProcessor*>(new Vst::SingleComponentEffect);
}

FUnknown* CreateNothing(void*)
{
    return nullptr;
}

FUnknown* CreateThrowing(void*)
{
    throw 42;
}

const FUID kEffectId(0x11111111, 0x22222222, 0x33333333, 0x44444444);
const FUID kNullId(0x55555555, 0x22222222, 0x33333333, 0x44444444);
const FUID kThrowId(0x66666666, 0x22222222, 0x33333333, 0x44444444);

PClassInfo2 ClassInfo(const FUID& id, const char* name)
{
    TUID cid;
    id.toTUID(cid);
    return PClassInfo2(cid, PClassInfo::kManyInstances, "Audio Module Class", name, 2, "Fx|Modulation", "", "1.0.4",
                       "VST 3.8.0");
}

struct FactoryFixture : ::testing::Test
{
    PluginFactory* factory = new PluginFactory(
        PFactoryInfo("Maker", "https://example.invalid", "mail@example.invalid", PFactoryInfo::kUnicode));
    void SetUp() override
    {
        ASSERT_TRUE(factory->registerClass(ClassInfo(kEffectId, "Effect"), CreateEffect));
        ASSERT_TRUE(factory->registerClass(ClassInfo(kNullId, "Null"), CreateNothing));
        ASSERT_TRUE(factory->registerClass(ClassInfo(kThrowId, "Throw"), CreateThrowing));
    }
    void TearDown() override { EXPECT_EQ(factory->release(), 0u); }
};

} // namespace

TEST_F(FactoryFixture, DescribesClassesInPlainVersion2AndUnicodeForm)
{
    EXPECT_FALSE(factory->registerClass(ClassInfo(kEffectId, "Again"), CreateEffect));
    EXPECT_FALSE(factory->registerClass(ClassInfo(FUID(1, 2, 3, 4), "NoCreate"), nullptr));
    ASSERT_EQ(factory->countClasses(), 3);

    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Maker");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);

    PClassInfo plain;
    ASSERT_EQ(factory->getClassInfo(0, &plain), kResultOk);
    EXPECT_STREQ(plain.category, "Audio Module Class");
    EXPECT_STREQ(plain.name, "Effect");
    EXPECT_TRUE(FUID::fromTUID(plain.cid) == kEffectId);

    PClassInfo2 info2;
    ASSERT_EQ(factory->getClassInfo2(0, &info2), kResultOk);
    EXPECT_STREQ(info2.subCategories, "Fx|Modulation");
    EXPECT_EQ(info2.classFlags, 2u);

    PClassInfoW wide;
    ASSERT_EQ(factory->getClassInfoUnicode(0, &wide), kResultOk);
    EXPECT_EQ(wide.cardinality, PClassInfo::kManyInstances);
    EXPECT_EQ(String(wide.name), String("Effect"));
    EXPECT_EQ(String(wide.version), String("1.0.4"));
    EXPECT_EQ(String(wide.sdkVersion), String("VST 3.8.0"));

    for (int32 index : {-1, 3}) {
        EXPECT_EQ(factory->getClassInfo(index, &plain), kInvalidArgument);
        EXPECT_EQ(factory->getClassInfo2(index, &info2), kInvalidArgument);
        EXPECT_EQ(factory->getClassInfoUnicode(index, &wide), kInvalidArgument);
    }
    EXPECT_EQ(factory->getClassInfo(0, nullptr), kInvalidArgument);
}

TEST_F(FactoryFixture, QueriesAndCountsItsOwnReferences)
{
    IPluginFactory3* third = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&third)), kResultOk);
    EXPECT_EQ(third->release(), 1u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->queryInterface(Vst::IComponent::iid, &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
}

TEST_F(FactoryFixture, CreatesInstancesAndReportsEveryFailureWithoutThrowing)
{
    TUID cid, iid;
    kEffectId.toTUID(cid);
    Vst::IAudioProcessor::iid.toTUID(iid);
    void* obj = nullptr;
    created = 0;
    ASSERT_EQ(factory->createInstance(reinterpret_cast<FIDString>(cid), reinterpret_cast<FIDString>(iid), &obj),
              kResultOk);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(created, 1);
    // The factory kept no reference: the host's is the only one.
    EXPECT_EQ(static_cast<Vst::IAudioProcessor*>(obj)->release(), 0u);

    struct Case
    {
        FUID cid;
        FUID iid;
        tresult expected;
    };
    const Case cases[] = {
        {kEffectId, IPluginFactory::iid, kNoInterface},
        {FUID(9, 9, 9, 9), Vst::IAudioProcessor::iid, kInvalidArgument},
        {kNullId, Vst::IAudioProcessor::iid, kOutOfMemory},
        {kThrowId, Vst::IAudioProcessor::iid, kInternalError},
    };
    for (const Case& c : cases) {
        c.cid.toTUID(cid);
        c.iid.toTUID(iid);
        obj = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->createInstance(reinterpret_cast<FIDString>(cid), reinterpret_cast<FIDString>(iid), &obj),
                  c.expected);
        EXPECT_EQ(obj, nullptr);
    }
}
