// The module glue: instance handle and the InitDll/ExitDll user count.
#include "framework/vst3/Vst3Module.h"

#include <gtest/gtest.h>

TEST (Vst3Module, CountsUsersAndNeverGoesBelowZero)
{
	EXPECT_NE (iplug::Vst3Module::Handle (), nullptr);
	EXPECT_FALSE (iplug::Vst3Module::Leave ());
	EXPECT_TRUE (iplug::Vst3Module::Enter ());
	EXPECT_FALSE (iplug::Vst3Module::Enter ());
	EXPECT_FALSE (iplug::Vst3Module::Leave ());
	EXPECT_TRUE (iplug::Vst3Module::Leave ());
	EXPECT_EQ (iplug::Vst3Module::Users (), 0);
}
