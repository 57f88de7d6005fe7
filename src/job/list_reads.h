#pragma once
// Reads of list files that may hang: a share that stops answering holds a read for as long as it
// likes. Each read runs on a thread of its own that ends by itself whenever the read does, so
// nobody has to wait for it; at most one read of a file runs at a time, and a read asked for
// meanwhile joins the one running.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tandrel::job {

class TFileReads {
  public:
    struct TRead {
        bool Ok = false;
        std::string Bytes;    // the file's bytes, when Ok
        std::string Failure;  // not Ok: why (Windows-1251)
    };
    using TResult = std::shared_ptr<const TRead>;
    using TPost = std::function<void(std::function<void()>)>;

    // post hands a call to the thread that asks for reads (the main thread); reads call it from
    // their own threads until this object goes.
    explicit TFileReads(TPost post);
    // Reads still running end alone; what they read goes nowhere.
    ~TFileReads();
    TFileReads(const TFileReads&) = delete;
    TFileReads& operator=(const TFileReads&) = delete;

    // Reads file on a thread of its own, or joins the read of it that runs; done runs through
    // post once the read has ended, never inside this call.
    void Read(const std::filesystem::path& file, std::function<void(TResult)> done);
    // Reads file on the calling thread, or waits there for the read of it that runs: for a
    // thread of its own that may wait as long as the share does.
    TResult ReadHere(const std::filesystem::path& file);
    // ReadHere as a call that stays valid after this object has gone (a thread that outlives
    // it).
    using THere = std::function<TResult(const std::filesystem::path& file)>;
    THere Here() const;
    // Reads running now, those that nobody waits for any longer included.
    std::size_t Running() const;

  private:
    struct TShared;
    std::shared_ptr<TShared> shared_;
};

}  // namespace tandrel::job
