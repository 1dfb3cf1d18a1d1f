// Content provider: the notification sequences a runtime's callback sees,
// whichever of writing and binding comes first.
#include <gtest/gtest.h>

#include "content/ContentProvider.h"
#include "content/StreamAdapters.h"
#include "framework/base/Exceptions.h"
#include "framework/gui/MainThread.h"
#include "tests/content/RecordingCallback.h"

namespace leafbook::testing {
namespace {

const std::string kResponse = "response 200 HTTP/1.1 200 OK\\r\\nContent-Length: -1\\r\\n";
std::string Response(int length) {
  return "response 200 HTTP/1.1 200 OK\\r\\nContent-Length: " + std::to_string(length) + "\\r\\n";
}
const std::string kStart = "start";
const std::string kStop = "stop 0x00000000";
std::string Data(const std::string& bytes) {
  return "data 5 " + std::to_string(bytes.size()) + " " + bytes;
}

const std::string kTen = "0123456789";
const std::string kTwenty = "abcdefghijklmnopqrst";

using TEvents = std::vector<std::string>;

class ContentProviderTest : public ::testing::Test {
 protected:
  ContentProviderTest() : provider_(TContentProvider::Create(side_)) {}

  ULONG Write(const std::string& bytes) {
    ULONG written = 12345;
    EXPECT_EQ(side_->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    return written;
  }
  void Bind() { EXPECT_EQ(provider_->SetBindStatusCallback(callback_.Get()), S_OK); }
  void ReleaseStreamSide() { side_.Reset(); }

  TComPtr<IStream> side_;
  TComPtr<IContentProvider> provider_;
  TComPtr<TRecordingCallback> callback_ = TRecordingCallback::Create();
};

TEST_F(ContentProviderTest, WriteThenBind) {
  EXPECT_EQ(Write(kTen), 10u);
  EXPECT_EQ(Write(kTwenty), 20u);
  EXPECT_TRUE(callback_->Events().empty());
  Bind();
  EXPECT_EQ(callback_->Events(), (TEvents{kResponse, kStart, Data(kTen + kTwenty)}));
  EXPECT_EQ(Write("more"), 4u);  // after binding, each write is its own piece
  ReleaseStreamSide();
  EXPECT_EQ(callback_->Events(),
            (TEvents{kResponse, kStart, Data(kTen + kTwenty), Data("more"), kStop}));
}

TEST_F(ContentProviderTest, BindThenWrite) {
  Bind();
  EXPECT_TRUE(callback_->Events().empty());
  EXPECT_EQ(Write(kTen), 10u);
  EXPECT_EQ(Write(kTwenty), 20u);
  EXPECT_EQ(callback_->Events(), (TEvents{kResponse, kStart, Data(kTen), Data(kTwenty)}));
  ReleaseStreamSide();
  EXPECT_EQ(callback_->Events().back(), kStop);
}

TEST_F(ContentProviderTest, StreamSideReleasedBeforeBinding) {
  Write(kTen);
  ReleaseStreamSide();
  EXPECT_TRUE(callback_->Events().empty());
  Bind();
  EXPECT_EQ(callback_->Events(), (TEvents{kResponse, kStart, Data(kTen), kStop}));
}

TEST_F(ContentProviderTest, WithoutDataNothingIsEverSent) {
  ReleaseStreamSide();
  Bind();
  EXPECT_TRUE(callback_->Events().empty());

  TComPtr<IStream> side;
  TComPtr<IContentProvider> provider = TContentProvider::Create(side);
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  provider->SetBindStatusCallback(callback.Get());
  provider->Finish();
  side.Reset();
  EXPECT_TRUE(callback->Events().empty());
}

TEST_F(ContentProviderTest, AZeroByteWriteCountsAsData) {
  EXPECT_EQ(provider_->HasData(), S_FALSE);
  EXPECT_EQ(Write(""), 0u);
  EXPECT_EQ(provider_->HasData(), S_OK);
  Bind();
  ReleaseStreamSide();
  EXPECT_EQ(callback_->Events(), (TEvents{kResponse, kStart, Data(""), kStop}));
}

TEST_F(ContentProviderTest, SetSizeSendsAnExtraResponse) {
  // Before binding there is nobody to tell; the start reports the size.
  ULARGE_INTEGER size;
  size.QuadPart = 30;
  side_->SetSize(size);
  Write(kTen);
  Bind();
  EXPECT_EQ(callback_->Events(), (TEvents{Response(30), kStart, Data(kTen)}));

  // After binding: at once, and again when the binding starts.
  TComPtr<IStream> side;
  TComPtr<IContentProvider> provider = TContentProvider::Create(side);
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  provider->SetBindStatusCallback(callback.Get());
  size.QuadPart = 10;
  side->SetSize(size);
  EXPECT_EQ(callback->Events(), (TEvents{Response(10)}));
  ULONG written = 0;
  side->Write(kTen.data(), 10, &written);
  EXPECT_EQ(callback->Events(), (TEvents{Response(10), Response(10), kStart, Data(kTen)}));
}

TEST_F(ContentProviderTest, ACallbackWithoutHttpNegotiateGetsNoResponse) {
  TComPtr<TRecordingCallback> plain = TRecordingCallback::Create(false);
  Write(kTen);
  provider_->SetBindStatusCallback(plain.Get());
  ReleaseStreamSide();
  EXPECT_EQ(plain->Events(), (TEvents{kStart, Data(kTen), kStop}));
}

TEST_F(ContentProviderTest, AFailingDataNotificationReportsNothingWritten) {
  TComPtr<TRecordingCallback> failing = TRecordingCallback::Create(true, E_FAIL);
  provider_->SetBindStatusCallback(failing.Get());
  EXPECT_EQ(Write(kTen), 0u);
  EXPECT_EQ(provider_->HasData(), S_OK);  // the provider keeps its state
  EXPECT_EQ(failing->Events(), (TEvents{kResponse, kStart, Data(kTen)}));

  // A writer turns the short write into the stream's write error.
  InitMainThread();
  {
    std::unique_ptr<TStream> writer = NewWriter(side_);
    EXPECT_THROW(writer->WriteBuffer(kTwenty.data(), 20), EWriteError);
  }
  DoneMainThread();
  EXPECT_EQ(failing->Events().size(), 4u);
}

TEST_F(ContentProviderTest, OneBindingPerProvider) {
  Write(kTen);
  Bind();
  EXPECT_EQ(provider_->SetBindStatusCallback(callback_.Get()), S_OK);
  TComPtr<TRecordingCallback> second = TRecordingCallback::Create();
  EXPECT_EQ(provider_->SetBindStatusCallback(second.Get()), E_UNEXPECTED);
  ReleaseStreamSide();
  EXPECT_EQ(callback_->Events(), (TEvents{kResponse, kStart, Data(kTen), kStop}));
  EXPECT_TRUE(second->Events().empty());
}

TEST_F(ContentProviderTest, TheStreamSideSupportsOnlyWriteAndSetSize) {
  char byte = 0;
  ULONG count = 77;
  EXPECT_EQ(side_->Read(&byte, 1, &count), E_NOTIMPL);
  EXPECT_EQ(count, 77u);
  ULARGE_INTEGER position;
  position.QuadPart = 99;
  EXPECT_EQ(side_->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, &position), E_NOTIMPL);
  EXPECT_EQ(position.QuadPart, 99u);
  IStream* clone = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(side_->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  STATSTG stat{};
  EXPECT_EQ(side_->Stat(&stat, STATFLAG_NONAME), E_NOTIMPL);
  EXPECT_EQ(side_->Commit(0), E_NOTIMPL);

  // Exactly the listed interfaces.
  TComPtr<IUnknown> unknown;
  EXPECT_EQ(side_->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
  TComPtr<IContentProvider> notHere;
  EXPECT_EQ(side_->QueryInterface(IID_IContentProvider, notHere.PutVoid()), E_NOINTERFACE);
  TComPtr<IStream> notAStream;
  EXPECT_EQ(provider_->QueryInterface(IID_IStream, notAStream.PutVoid()), E_NOINTERFACE);
}

}  // namespace
}  // namespace leafbook::testing
