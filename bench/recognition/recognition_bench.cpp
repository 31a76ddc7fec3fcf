// The recogniser runs on every message: a typical 4 KiB header section (a relayed
// Exchange reply with an encoded subject) and a 64 KiB one (a long trace).
#include <benchmark/benchmark.h>

#include <string>

#include "out_of_office_marker.h"

namespace {

std::string headerSection(size_t bytes) {
    std::string head =
        "Return-Path: <>\r\nFrom: Ann Weber <ann@example.com>\r\nTo: bob@partner.example\r\n"
        "Subject: =?iso-8859-1?Q?R=E9ponse_automatique_:_Contrat?=\r\nThread-Topic: Contrat\r\n"
        "X-Auto-Response-Suppress: All\r\nX-MS-Exchange-Inbox-Rules-Loop: ann@example.com\r\n"
        "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n";
    size_t hop = 0;
    while (head.size() < bytes)
        head += "Received: from relay" + std::to_string(hop++) +
                ".example.net (relay.example.net [192.0.2.1])\r\n\tby mx.example.com with ESMTPS id 4Q1\r\n"
                "X-Spam-Score: 0.1\r\nDKIM-Signature: v=1; a=rsa-sha256; d=example.com; s=s1;\r\n\tbh=abc=\r\n";
    return head + "\r\nBody\r\n";
}

void classify(benchmark::State& state) {
    std::string content = headerSection(size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(platform::smtp::RecogniseMessage(content, true));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(content.size()));
}
BENCHMARK(classify)->Arg(4 * 1024)->Arg(64 * 1024);

}  // namespace

BENCHMARK_MAIN();
