// Reading an mRemoteNG 1.80 file of 200 servers: 600,000 rounds of key derivation for every
// password, each under its own salt, against what those derivations cost when spread evenly
// over every core: the derivations times one derivation over the cores, that one timed in the
// same run. Two floors: one derivation timed alone, and one on every core at once. They agree
// on an idle machine; on a busy one a lone thread gets a whole core and a full set does not,
// and the second floor shows what the spreading itself costs then.
#include <algorithm>
#include <thread>

#include "bench.h"
#include "import/import.h"
#include "import/mremoteng_crypto.h"
#include "support/mremoteng_sealing.h"

namespace korvane::bench {
namespace {

constexpr int kServers = 200;
constexpr unsigned kRounds = 600'000;

std::string Salt(int i) {
  std::string salt = testing::Counting(0);
  salt[0] = static_cast<char>(i), salt[1] = static_cast<char>(i >> 8);
  return salt;
}

// The file as mRemoteNG 1.80 writes it. Making it costs as many derivations as reading it, so
// it is made on every core too; the gateway passwords, which the import never opens, share one
// sealed value.
std::string ConfCons() {
  std::vector<std::string> passwords(kServers);
  std::vector<std::thread> threads;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned t = 0; t < cores; ++t) {
    threads.emplace_back([&, t] {
      for (int i = static_cast<int>(t); i < kServers; i += static_cast<int>(cores)) {
        passwords[i] = testing::SealGcm("mR3m", "pw " + std::to_string(i), kRounds, Salt(i + 1));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const std::string check = testing::SealGcm("mR3m", "ThisIsNotProtected", kRounds, Salt(0));
  const std::string gateway = testing::SealGcm("mR3m", "", kRounds, Salt(kServers + 1));
  std::string file = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mrng:Connections xmlns:mrng=\"http://mremoteng.org\" "
                     "Name=\"Connections\" EncryptionEngine=\"AES\" BlockCipherMode=\"GCM\" KdfIterations=\"600000\" "
                     "FullFileEncryption=\"False\" Protected=\"" + check + "\" ConfVersion=\"2.8\">\n"
                     "<Node Name=\"机房A\" Type=\"Container\">\n";
  for (int i = 0; i < kServers; ++i) {
    file += "<Node Name=\"web-" + std::to_string(i) + "\" Type=\"Connection\" Protocol=\"RDP\" Hostname=\"10.0.0." +
            std::to_string(i) + "\" Port=\"3389\" Username=\"Administrator\" Domain=\"CORP\" Password=\"" + passwords[i] +
            "\" RDGatewayPassword=\"" + gateway + "\"/>\n";
  }
  return file + "</Node>\n</mrng:Connections>\n";
}

void BM_ImportMremoteng600k(benchmark::State& state) {
  const std::string file = ConfCons();
  const std::string oneValue = testing::SealGcm("mR3m", "x", kRounds, Salt(999));
  const auto deriveOnCores = [&oneValue](unsigned cores) {
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < cores; ++t) {
      threads.emplace_back([&] { import::mremoteng::Open({import::mremoteng::Cipher::AesGcm, kRounds}, "mR3m", oneValue); });
    }
    for (auto& thread : threads) thread.join();
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  double aloneSeconds = 0, togetherSeconds = 0;
  for (auto _ : state) {
    import::ImportContext context;
    import::ImportResult result;
    state.SetIterationTime(Seconds([&] { result = import::ReadServersFromBytes("confCons.xml", file, context); }));
    if (result.servers.size() != kServers || !result.unopened.empty() || !result.errors.empty()) {
      state.SkipWithError("the file did not read whole");
    }
    const double alone = Seconds([&] { deriveOnCores(1); });
    const double together = Seconds([&] { deriveOnCores(cores); });
    aloneSeconds += static_cast<double>(result.derivations) * alone / cores;
    togetherSeconds += static_cast<double>(result.derivations) * together / cores;
    state.counters["derivations"] = static_cast<double>(result.derivations);
  }
  ReportFloor(state, "derivations x one / cores", aloneSeconds, 1.2);
  ReportFloor(state, "the same, one on each core", togetherSeconds, 1.2);
}
BENCHMARK(BM_ImportMremoteng600k)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvane::bench
