// A large file of the book delivered to the runtime side: a 64 MiB entry read
// from the package into a content provider's stream side, as the process-wide
// content handler does, and read back by a bind status callback standing in
// for the runtime's, beside a memcpy of as many bytes in the same process.
// Prints one figure line; asserts nothing. Windows build, run under Wine.
//   delivery_bench [MiB] [runs]   (default 64, 5)
#include <windows.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/WinTiming.h"
#include "content/ContentProvider.h"
#include "content/StreamAdapters.h"
#include "framework/base/ComObject.h"
#include "framework/gui/MainThread.h"
#include "package/PackageAccess.h"
#include "package/PackageWriter.h"

using namespace leafbook;

namespace {

using bench::Median;
using bench::Seconds;

// The runtime's side: reads every piece it is told of into its own buffer.
class TSink final
    : public TComObject<TSink, TInterface<IBindStatusCallback, &IID_IBindStatusCallback>> {
 public:
  explicit TSink(std::vector<char>& into) : into_(into) {}
  size_t received = 0;
  bool stopped = false;

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
    stopped = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD size, FORMATETC*,
                                            STGMEDIUM* medium) override {
    ULONG got = 0;
    const ULONG room = static_cast<ULONG>(std::min<size_t>(size, into_.size() - received));
    medium->pstm->Read(into_.data() + received, room, &got);
    received += got;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  std::vector<char>& into_;
};

// A provider's stream side with the runtime's side already bound to it.
TComPtr<IStream> BoundProvider(std::vector<char>& received, TComPtr<TSink>& sink) {
  TComPtr<IStream> streamSide;
  TComPtr<TContentProvider> provider = TContentProvider::Create(streamSide);
  sink = TComPtr<TSink>(NewComObject<TSink>(received));
  provider->SetBindStatusCallback(sink.Get());
  return streamSide;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 64;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const auto bytes = static_cast<size_t>(mib << 20);
  ::OleInitialize(nullptr);
  InitMainThread();
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "leafbook-delivery-bench.exe";
  try {
    std::string entry(bytes, '\0');
    for (size_t i = 0; i < entry.size(); i += 4096) {
      entry[i] = static_cast<char>(i >> 12);
    }
    {
      TFileStream out(path, platform::TFileMode::Create);
      out.WriteBuffer("MZ bench viewer", 15);
      TPackageWriter writer(out, true);
      writer.AddEntry(BuildDirectoryText({{"video.flv", 1}}));
      writer.AddEntry(entry);
      writer.Finish();
    }
    double start = Seconds();
    PackageFileIndex("video.flv", path);  // the one check of the package, apart
    const double check = Seconds() - start;

    // The runtime's buffer, touched once, as memcpy's destination is.
    std::vector<char> received(bytes, 1);
    std::vector<double> delivered;
    for (int run = 0; run < runs; ++run) {
      TComPtr<TSink> sink;
      TComPtr<IStream> streamSide = BoundProvider(received, sink);
      start = Seconds();
      {
        std::unique_ptr<TStream> writer = NewWriter(std::move(streamSide));
        PackageReadFile("video.flv", *writer, path);
      }  // the end of the data
      delivered.push_back(Seconds() - start);
      if (sink->received != bytes || !sink->stopped ||
          std::memcmp(received.data(), entry.data(), bytes) != 0) {
        std::fprintf(stderr, "delivery_bench: the runtime side did not get the entry\n");
        return 1;
      }
    }

    // Where the time goes: the entry read from the package into memory, and
    // the provider alone (a write of bytes already in memory, read back by
    // the runtime's side).
    std::vector<double> reads;
    std::vector<double> provided;
    for (int run = 0; run < runs; ++run) {
      TMemoryStream memory;
      start = Seconds();
      PackageReadFile("video.flv", memory, path);
      reads.push_back(Seconds() - start);
      TComPtr<TSink> sink;
      TComPtr<IStream> streamSide = BoundProvider(received, sink);
      start = Seconds();
      ULONG written = 0;
      streamSide->Write(memory.Memory(), static_cast<ULONG>(memory.Size()), &written);
      streamSide.Reset();
      provided.push_back(Seconds() - start);
    }

    std::vector<char> source(entry.begin(), entry.end());
    std::vector<double> copies;
    for (int run = 0; run < runs; ++run) {
      start = Seconds();
      std::memcpy(received.data(), source.data(), bytes);
      copies.push_back(Seconds() - start);
      source[static_cast<size_t>(run)] ^= received[bytes - 1 - static_cast<size_t>(run)];
    }
    // Every delivery ends in memory that is new to the process; a copy into
    // new memory shows what that costs on this machine.
    std::vector<double> freshCopies;
    for (int run = 0; run < runs; ++run) {
      start = Seconds();
      std::vector<char> fresh(source.begin(), source.end());
      freshCopies.push_back(Seconds() - start);
    }
    const double ours = static_cast<double>(bytes) / Median(delivered) / 1e6;
    const double anchor = static_cast<double>(bytes) / Median(copies) / 1e6;
    std::printf(
        "delivery_bench: %lld MiB entry, %d runs: delivered median %.1f ms, memcpy "
        "median %.1f ms; of which read from the package %.1f ms, provider and runtime side "
        "%.1f ms; memcpy into new memory median %.1f ms; the package's one check %.0f ms\n",
        static_cast<long long>(mib), runs, Median(delivered) * 1e3, Median(copies) * 1e3,
        Median(reads) * 1e3, Median(provided) * 1e3, Median(freshCopies) * 1e3, check * 1e3);
    std::printf(
        "figure\ta %lld MiB entry delivered through the content provider's stream "
        "(Wine)\t%.0f MB/s\t%.0f MB/s (memcpy)\t%.2f\t≥ 0.25\n",
        static_cast<long long>(mib), ours, anchor, ours / anchor);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "delivery_bench: %s\n", e.what());
    ::DeleteFileA(path.c_str());
    return 1;
  }
  ::DeleteFileA(path.c_str());
  return 0;
}
