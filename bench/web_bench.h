// The web view measured on loopback: a store of 100 meters with a year of
// hourly and daily records each and a round of their 100 nodes, served by
// vardis-cli's web view in this process and asked by an HTTP client.
#pragma once

#include "bench/store_bench.h"

namespace vardis::bench {

struct WebResult {
  int meters = 0;
  int year = 0;
  long long records = 0;
  double fillSeconds = 0;
  StoreTimes round;      // /api/rounds/ID of the 100 nodes
  StoreTimes week;       // /api/history of one meter's week of hourly records
  StoreTimes page;       // the overview's requests, one after the other
  StoreTimes meterPage;  // a meter's page: its history and consumption
  int pageRequests = 0;
};

// Throws vardis::store::StoreError when the store cannot be made.
WebResult measureWeb(const Options& o);
void printWeb(const WebResult& r);

}  // namespace vardis::bench
