#pragma once
// A plant's TLS set-up made by the test with Debian's openssl: a CA, the broker's certificate
// for 127.0.0.1 signed by it, a station's certificate and key in one file (and the same key
// behind a pass phrase), and a second CA that signed nothing of the broker's.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tandrel::testing {

struct TestCertificates {
    std::filesystem::path Ca, OtherCa, BrokerCert, BrokerKey, Station, StationEncrypted;

    // False when openssl failed.
    bool Make(const std::filesystem::path& dir) {
        std::filesystem::create_directories(dir);
        const std::string d = dir.string();
        std::ofstream(dir / "ip.ext") << "subjectAltName=IP:127.0.0.1\n";
        const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        const std::string sign = " -days 2 -CA " + d + "/ca.pem -CAkey " + d + "/ca.key";
        const std::string script =
            "cd '" + d + "' && exec >openssl.log 2>&1 && set -e\n" + "openssl req -x509" + key +
            " -keyout ca.key -out ca.pem -days 2 -subj /CN=PlantCA\n" + "openssl req -x509" + key +
            " -keyout other.key -out other.pem -days 2 -subj /CN=Other\n" + "openssl req" + key +
            " -keyout broker.key -out broker.csr -subj /CN=broker\n" +
            "openssl x509 -req -in broker.csr" + sign + " -out broker.pem -extfile ip.ext\n" +
            "openssl req" + key + " -keyout station.key -out station.csr -subj /CN=station\n" +
            "openssl x509 -req -in station.csr" + sign + " -out station.crt\n" +
            "cat station.crt station.key >station.pem\n" +
            "openssl pkey -in station.key -aes256 -passout pass:secret -out locked.key\n" +
            "cat station.crt locked.key >locked.pem\n";
        std::ofstream(dir / "make.sh") << script;
        Ca = dir / "ca.pem";
        OtherCa = dir / "other.pem";
        BrokerCert = dir / "broker.pem";
        BrokerKey = dir / "broker.key";
        Station = dir / "station.pem";
        StationEncrypted = dir / "locked.pem";
        return std::system(("bash '" + d + "/make.sh'").c_str()) == 0;
    }

    // The broker's listener lines for TLS with these files, asking stations for certificates
    // signed by the CA when requireCertificate.
    std::string Listener(bool requireCertificate = false) const {
        return "cafile " + Ca.string() + "\ncertfile " + BrokerCert.string() + "\nkeyfile " +
               BrokerKey.string() + (requireCertificate ? "\nrequire_certificate true\n" : "\n");
    }
};

}  // namespace tandrel::testing
