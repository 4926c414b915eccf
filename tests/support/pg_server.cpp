#include "support/pg_server.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

namespace vardis::test {

namespace {

const std::string kScript = VARDIS_PG_SERVER_SCRIPT;

std::map<std::string, std::string> readServerFile(const std::filesystem::path& file) {
  std::map<std::string, std::string> fields;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    if (space != std::string::npos) fields[line.substr(0, space)] = line.substr(space + 1);
  }
  return fields;
}

PgServerAddress addressOf(const std::map<std::string, std::string>& f) {
  PgServerAddress a;
  a.host = f.at("host");
  a.port = std::stoi(f.at("port"));
  a.user = f.at("user");
  a.password = f.at("password");
  return a;
}

bool runScript(const std::string& what, const std::filesystem::path& dir) {
  const std::string command = "'" + kScript + "' " + what + " '" + dir.string() + "'";
  return std::system(command.c_str()) == 0;
}

std::filesystem::path freshDir(const char* what) {
  static std::atomic<int> counter{0};
  return std::filesystem::temp_directory_path() /
         ("vardis-" + std::string(what) + "-" + std::to_string(::getpid()) + "-" +
          std::to_string(counter++));
}

// A server this program started, stopped when it ends.
struct ProcessServer {
  std::filesystem::path dir = freshDir("pg");
  ProcessServer() {
    if (!runScript("start", dir)) {
      std::cerr << "no PostgreSQL server for the tests: " << kScript << " start failed\n";
      std::exit(1);
    }
  }
  ~ProcessServer() {
    runScript("stop", dir);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

std::string quoted(const std::string& value) {
  std::string q = "'";
  for (const char c : value) {
    if (c == '\'' || c == '\\') q += '\\';
    q += c;
  }
  return q + "'";
}

std::string socketConninfo(const PgServerAddress& s, const std::string& db) {
  return "host=" + quoted(s.host) + " port=" + std::to_string(s.port) + " user=" + quoted(s.user) +
         " dbname=" + quoted(db);
}

// One statement's first value; `failure` gets the server's message.
std::string firstValue(const std::string& conninfo, const std::string& query,
                       std::string* failure) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  PQsetNoticeProcessor(
      c, [](void*, const char*) {}, nullptr);
  std::string value;
  if (PQstatus(c) != CONNECTION_OK) {
    *failure = PQerrorMessage(c);
  } else {
    PGresult* r = PQexec(c, query.c_str());
    const auto st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      *failure = PQresultErrorMessage(r);
    } else if (st == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0) {
      value = PQgetvalue(r, 0, 0);
    }
    PQclear(r);
  }
  PQfinish(c);
  return value;
}

}  // namespace

const PgServerAddress& pgServer() {
  static const PgServerAddress address = [] {
    const std::filesystem::path shared = VARDIS_TEST_PG_DIR;
    if (std::filesystem::exists(shared / "server"))
      return addressOf(readServerFile(shared / "server"));
    static ProcessServer own;
    return addressOf(readServerFile(own.dir / "server"));
  }();
  return address;
}

OwnPgServer::OwnPgServer() : dir_(freshDir("own-pg")) {
  if (!runScript("start", dir_)) throw std::runtime_error("the test's PostgreSQL did not start");
  const auto fields = readServerFile(dir_ / "server");
  address_ = addressOf(fields);
  cluster_ = fields.at("cluster");
}

OwnPgServer::~OwnPgServer() {
  runScript("stop", dir_);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void OwnPgServer::stop() {
  const std::string command = "'" + kScript + "' pause '" + dir_.string() + "'";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("the test's PostgreSQL did not stop");
}

void OwnPgServer::start() {
  const std::string command = "'" + kScript + "' resume '" + dir_.string() + "'";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("the test's PostgreSQL did not start again");
}

PgTestDatabase::PgTestDatabase(const PgServerAddress& server) : server_(server) {
  static std::atomic<int> counter{0};
  name_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  std::string failure;
  firstValue(socketConninfo(server_, "postgres"), "DROP DATABASE IF EXISTS " + name_, &failure);
  firstValue(socketConninfo(server_, "postgres"), "CREATE DATABASE " + name_, &failure);
  if (!failure.empty()) ADD_FAILURE() << "CREATE DATABASE " << name_ << ": " << failure;
}

PgTestDatabase::~PgTestDatabase() {
  std::string failure;
  firstValue(socketConninfo(server_, "postgres"),
             "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)", &failure);
}

std::string PgTestDatabase::conninfo() const {
  return socketConninfo(server_, name_);
}

std::string PgTestDatabase::uri(const std::string& password) const {
  return "postgresql://" + server_.user + (password.empty() ? "" : ":" + password) +
         "@127.0.0.1:" + std::to_string(server_.port) + "/" + name_;
}

store::StoreLocation PgTestDatabase::location() const {
  store::StoreLocation l;
  l.engine = store::Engine::Postgres;
  l.conninfo = conninfo();
  return l;
}

std::string PgTestDatabase::sql(const std::string& query) const {
  std::string failure;
  const std::string v = firstValue(conninfo(), query, &failure);
  if (!failure.empty()) ADD_FAILURE() << query << ": " << failure;
  return v;
}

}  // namespace vardis::test
