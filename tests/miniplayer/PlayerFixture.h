// The stand-in runtime's test fixture: a fresh module and object for each
// test in the test container, its event sink advised, and its trace in a
// folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/miniplayer/TestContainer.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::miniplayer::testing {

// {D27CDB6D-AE6D-11CF-96B8-444553540000}
inline const IID kEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

class MiniPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    trace_ = dir_.Path() / "trace.txt";
    SetEnvironmentVariableW(L"MINIPLAYER_TRACE", trace_.wstring().c_str());
    module_ = std::make_unique<TModule>(L"miniplayer.ocx");
    ASSERT_NE(module_->handle, nullptr);
    ASSERT_TRUE(module_->factory);
    player_ = module_->Create();
    ASSERT_TRUE(player_);
    dispatch_ = player_.As<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(dispatch_);
    auto container = player_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    ASSERT_EQ(container->FindConnectionPoint(kEvents, point_.Put()), S_OK);
    ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
  }

  void TearDown() override {
    if (point_) {
      point_->Unadvise(cookie_);
      point_.Reset();
    }
    if (player_) {
      player_->Close(OLECLOSE_NOSAVE);
      player_->SetClientSite(nullptr);
    }
    dispatch_.Reset();
    player_.Reset();
    Pump(50);
    module_.reset();
    SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr);
    OleUninitialize();
  }

  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = dir_.Path() / name;
    leafbook::testing::WriteBytes(path, bytes);
    return path;
  }

  HWND Activate() {
    EXPECT_EQ(player_->SetClientSite(&site_), S_OK);
    EXPECT_EQ(player_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site_, 0, site_.Parent(),
                              &site_.position),
              S_OK);
    HWND window = nullptr;
    player_.As<IOleInPlaceObject>(IID_IOleInPlaceObject)->GetWindow(&window);
    return window;
  }

  // Sets Movie and waits for the load to end (ready state 4 after 0).
  bool Play(const std::wstring& url) {
    sink_.events.clear();
    EXPECT_EQ(Put(dispatch_.Get(), L"Movie", Str(url)), S_OK);
    return PumpUntil([&] {
      auto states = sink_.ReadyStates();
      return states.size() >= 2 && states.front() == 0 && states.back() == 4;
    });
  }

  bool TraceHas(const std::string& text) {
    return ReadTrace(trace_.wstring()).find(text) != std::string::npos;
  }
  bool WaitTrace(const std::string& text) {
    return PumpUntil([&] { return TraceHas(text); });
  }

  long Number(const wchar_t* name) { return AsInt(Call(dispatch_.Get(), name, {})); }

  leafbook::testing::TTempDir dir_;
  std::filesystem::path trace_;
  std::unique_ptr<TModule> module_;
  TSite site_;
  TEventSink sink_;
  TComPtr<IOleObject> player_;
  TComPtr<IDispatch> dispatch_;
  TComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace leafbook::miniplayer::testing
