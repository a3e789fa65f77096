#include "store/team_schema.h"

namespace korvane {
namespace {

// Role names are the database's name and a suffix; PostgreSQL keeps 63 bytes of a name.
constexpr std::size_t kLongestDatabaseName = 50;

std::string Filled(std::string text, const TeamRoles& roles, std::string_view database) {
  const std::pair<std::string_view, std::string> names[] = {
      {"{owner}", QuotedIdentifier(roles.owner)},   {"{viewer}", QuotedIdentifier(roles.viewer)},
      {"{editor}", QuotedIdentifier(roles.editor)}, {"{admin}", QuotedIdentifier(roles.admin)},
      {"{admin_name}", QuotedLiteral(roles.admin)}, {"{owner_name}", QuotedLiteral(roles.owner)},
      {"{database}", QuotedIdentifier(database)},
  };
  for (const auto& [mark, value] : names) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
      text.replace(at, mark.size(), value);
    }
  }
  return text;
}

// The team's settings change only as the owner (who made the team), or in a rekey (the key's
// rounds, salt and check), or through set_setting (the two the administrator chooses). The
// rekey does not reach the schema version, the name or the history's start: an administrator
// who could rewrite those would make members read the team wrongly. Made again, the same, by
// an upgrade, so that a team made at version 2 guards as one made now.
constexpr const char* kGuardTeam =
    "CREATE OR REPLACE FUNCTION korvane.guard_team() RETURNS trigger LANGUAGE plpgsql"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    "  IF pg_catalog.pg_has_role(session_user, {owner_name}, 'MEMBER')\n"
    "     OR (korvane.rekeying() AND OLD.name IN ('iterations', 'salt', 'key check'))\n"
    "     OR (current_user = {owner_name} AND OLD.name IN ('offline copy', 'history days')) THEN\n"
    "    RETURN NEW;\n"
    "  END IF;\n"
    "  RAISE EXCEPTION 'the team''s settings change only in a rekey, or through korvane.set_setting';\n"
    "END\n$$";

// Who, when and which version are the database's word, whatever a client sends. A new row
// takes the id its writer has just drawn from the sequence, so nobody plants an id that a later
// insert would collide with. A change keeps the id. The one exception is the administrator
// resealing passwords under a new key: only the password changes, and the row keeps its
// version, its stamp and who changed it last. When is the moment of the write, not the start
// of its transaction, which a member may open long before to make a change look older than it
// is; and never before the version it replaces. Made again by an upgrade, which so replaces
// version 2's, stamped at the transaction's start.
constexpr const char* kStamp =
    "CREATE OR REPLACE FUNCTION korvane.stamp() RETURNS trigger LANGUAGE plpgsql"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    "  IF TG_OP = 'UPDATE' THEN\n"
    "    IF korvane.rekeying() AND pg_catalog.pg_has_role(session_user, {admin_name}, 'MEMBER')\n"
    "       AND ROW(NEW.id, NEW.host, NEW.port, NEW.username, NEW.remark)\n"
    "           IS NOT DISTINCT FROM ROW(OLD.id, OLD.host, OLD.port, OLD.username, OLD.remark) THEN\n"
    "      NEW.version := OLD.version; NEW.change := OLD.change;\n"
    "      NEW.changed_by := OLD.changed_by; NEW.changed_at := OLD.changed_at;\n"
    "      RETURN NEW;\n"
    "    END IF;\n"
    "    NEW.id := OLD.id;\n"
    "    NEW.version := OLD.version + 1;\n"
    "    NEW.changed_at := GREATEST(pg_catalog.clock_timestamp(), OLD.changed_at);\n"
    "  ELSE\n"
    "    IF NEW.id IS DISTINCT FROM pg_catalog.currval('korvane.server_id_seq'::pg_catalog.regclass) THEN\n"
    "      RAISE EXCEPTION 'a new server takes the id drawn for it from korvane.server_id_seq';\n"
    "    END IF;\n"
    "    NEW.version := 1;\n"
    "    NEW.changed_at := pg_catalog.clock_timestamp();\n"
    "  END IF;\n"
    "  NEW.change := pg_catalog.pg_current_xact_id()::pg_catalog.text::pg_catalog.int8;\n"
    "  NEW.changed_by := session_user;\n"
    "  RETURN NEW;\n"
    "END\n$$";

// Made by the administrator, in init's transaction, before anything is made as the owner.
const char* const kAsAdministrator[] = {
    // Readers' rights are editors', editors' are the administrator's: one grant gives a member
    // everything its role allows.
    "GRANT {viewer} TO {editor}",
    "GRANT {editor} TO {admin}",
    // The administrator acts as the owner to make the objects, and later to change the schema.
    "GRANT {owner} TO CURRENT_USER",
    "CREATE SCHEMA korvane AUTHORIZATION {owner}",
};

// Made as the owner, which cannot log in: a member who breaks out of a function running with
// its rights holds the team's tables and nothing more of the server.
const char* const kAsOwner[] = {
    // The team's settings: schema version, name, the key derivation's salt and rounds, the
    // check of the key.
    "CREATE TABLE korvane.team (name text PRIMARY KEY, value text NOT NULL)",

    // Each write stamps its row with the id of the transaction that wrote it (`change`), and a
    // deletion leaves a tombstone stamped the same way. A member remembers the oldest
    // transaction still running when it last asked, and next asks for every row stamped at or
    // after it: a change committed late is fetched then. No lock is held to number a change,
    // so nobody can hold up the numbering; a member that keeps rows locked holds up only
    // changes of those rows, each for the lock timeout of the session that waits.
    "CREATE TABLE korvane.server ("
    " id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
    " version bigint NOT NULL DEFAULT 1,"
    " host text NOT NULL DEFAULT '', port text NOT NULL DEFAULT '', username text NOT NULL DEFAULT '',"
    " password text NOT NULL DEFAULT '', remark text NOT NULL DEFAULT '',"
    " change bigint NOT NULL DEFAULT 0, changed_by text NOT NULL DEFAULT '',"
    " changed_at timestamptz NOT NULL DEFAULT now(),"
    // Bounds far above any real server's values, so that no member stores a hundred megabytes
    // in a remark for every other member to fetch, nor a line break in a host or user that a
    // connection file would take for a line of its own.
    " CHECK (octet_length(host) <= 1024 AND octet_length(port) <= 64 AND octet_length(username) <= 1024"
    "        AND octet_length(password) <= 16384 AND octet_length(remark) <= 16384),"
    " CHECK (host !~ '[[:cntrl:]]' AND port !~ '[[:cntrl:]]' AND username !~ '[[:cntrl:]]'))",
    "CREATE INDEX server_change ON korvane.server (change)",
    "CREATE TABLE korvane.server_deleted (id bigint PRIMARY KEY, change bigint NOT NULL,"
    " deleted_at timestamptz NOT NULL DEFAULT now())",
    "CREATE INDEX server_deleted_change ON korvane.server_deleted (change)",
    "CREATE INDEX server_deleted_at ON korvane.server_deleted (deleted_at)",
    // Tombstones are kept for 30 days; `upto` is the newest stamp of those pruned. A member
    // that last asked before it may have missed a deletion, and reads the list anew.
    "CREATE TABLE korvane.pruned (upto bigint NOT NULL)",
    "INSERT INTO korvane.pruned (upto) VALUES (0)",

    "CREATE TABLE korvane.connection_log (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " at timestamptz NOT NULL DEFAULT now(), member text NOT NULL DEFAULT '',"
    " server bigint NOT NULL, host text NOT NULL DEFAULT '', port text NOT NULL DEFAULT '')",
    // `team log --since` reads from a day on without a scan of the whole log.
    "CREATE INDEX connection_log_at ON korvane.connection_log (at)",

    // Every function names its objects with their schema and pins search_path with pg_temp
    // last, so that no object a member makes (a temporary table, a function in public) is
    // what it calls.
    //
    // Whether this session is in a rekey: it holds the lock that begin_rekey takes, which no
    // one but the administrator can take (pg_locks is the server's own record of it).
    "CREATE FUNCTION korvane.rekeying() RETURNS boolean LANGUAGE sql STABLE"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "  SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_locks WHERE pid = pg_catalog.pg_backend_pid()\n"
    "                 AND locktype = 'relation' AND relation = 'korvane.team'::pg_catalog.regclass\n"
    "                 AND mode = 'ExclusiveLock' AND granted)\n"
    "$$",

    kStamp,
    "CREATE TRIGGER server_stamp BEFORE INSERT OR UPDATE ON korvane.server"
    " FOR EACH ROW EXECUTE FUNCTION korvane.stamp()",

    // A deletion's tombstone, written with the owner's rights since members may not write
    // tombstones themselves; old ones are pruned on the way.
    "CREATE FUNCTION korvane.forget() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "DECLARE\n"
    "  newest bigint;\n"
    "BEGIN\n"
    "  INSERT INTO korvane.server_deleted (id, change, deleted_at)\n"
    "    VALUES (OLD.id, pg_catalog.pg_current_xact_id()::pg_catalog.text::pg_catalog.int8, pg_catalog.now())\n"
    "    ON CONFLICT (id) DO UPDATE SET change = EXCLUDED.change, deleted_at = EXCLUDED.deleted_at;\n"
    // A thousand at most, and none that another deletion holds: pruning never makes one
    // member's delete wait for another's, nor take long however many tombstones there are.
    "  PERFORM 1 FROM korvane.pruned FOR UPDATE SKIP LOCKED;\n"
    "  IF FOUND THEN\n"
    "    WITH gone AS (DELETE FROM korvane.server_deleted WHERE id IN (\n"
    "                    SELECT id FROM korvane.server_deleted\n"
    "                    WHERE deleted_at < pg_catalog.now() - pg_catalog.make_interval(days => 30)\n"
    "                    ORDER BY deleted_at LIMIT 1000 FOR UPDATE SKIP LOCKED)\n"
    "                  RETURNING change)\n"
    "      SELECT pg_catalog.max(change) INTO newest FROM gone;\n"
    "    IF newest IS NOT NULL THEN\n"
    "      UPDATE korvane.pruned SET upto = GREATEST(upto, newest);\n"
    "    END IF;\n"
    "  END IF;\n"
    "  RETURN OLD;\n"
    "END\n$$",
    "CREATE TRIGGER server_forget AFTER DELETE ON korvane.server"
    " FOR EACH ROW EXECUTE FUNCTION korvane.forget()",

    kGuardTeam,
    "CREATE TRIGGER team_guard BEFORE UPDATE ON korvane.team FOR EACH ROW EXECUTE FUNCTION korvane.guard_team()",

    // Editors delete through this function and hold no DELETE right on the table: with it they
    // could lock the whole table (LOCK TABLE takes any mode with UPDATE, DELETE or TRUNCATE)
    // and stop every member reading it. The row goes only at the version the operator saw.
    "CREATE FUNCTION korvane.delete_server(p_id bigint, p_version bigint) RETURNS bigint LANGUAGE sql"
    " SECURITY DEFINER SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "  WITH gone AS (DELETE FROM korvane.server WHERE id = p_id AND version = p_version RETURNING 1)\n"
    "  SELECT pg_catalog.count(*) FROM gone\n"
    "$$",

    // A rekey holds every writer back while it reseals: a value sealed meanwhile under the old
    // key would open for nobody. Only the administrator may call it.
    "CREATE FUNCTION korvane.begin_rekey() RETURNS void LANGUAGE plpgsql SECURITY DEFINER"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    "  LOCK TABLE korvane.server, korvane.team IN EXCLUSIVE MODE;\n"
    "END\n$$",

    // A connect's line: who and when from the database, host and port from the server row, so
    // a line names only a server the team has, as it was at the connect.
    "CREATE FUNCTION korvane.log_stamp() RETURNS trigger LANGUAGE plpgsql"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    // One line for a double click, not a thousand for a loop: the same member's connect to the
    // same server within seconds is already in the log.
    "  IF EXISTS (SELECT 1 FROM korvane.connection_log l WHERE l.at > pg_catalog.now() - interval '5 seconds'\n"
    "             AND l.member = session_user AND l.server = NEW.server) THEN\n"
    "    RETURN NULL;\n"
    "  END IF;\n"
    "  SELECT s.host, s.port INTO NEW.host, NEW.port FROM korvane.server s WHERE s.id = NEW.server;\n"
    "  IF NOT FOUND THEN\n"
    "    RAISE EXCEPTION 'the team has no server %', NEW.server;\n"
    "  END IF;\n"
    "  NEW.member := session_user;\n"
    "  NEW.at := pg_catalog.now();\n"
    "  RETURN NEW;\n"
    "END\n$$",
    "CREATE TRIGGER connection_log_stamp BEFORE INSERT ON korvane.connection_log"
    " FOR EACH ROW EXECUTE FUNCTION korvane.log_stamp()",

    // Rights: nothing for anyone but what is granted below. Nobody but the owner empties,
    // alters or drops anything; the log takes new lines and never changes an old one.
    "REVOKE ALL ON SCHEMA korvane FROM PUBLIC",
    "REVOKE ALL ON ALL TABLES IN SCHEMA korvane FROM PUBLIC",
    "REVOKE ALL ON ALL SEQUENCES IN SCHEMA korvane FROM PUBLIC",
    "REVOKE ALL ON ALL FUNCTIONS IN SCHEMA korvane FROM PUBLIC",
    "GRANT USAGE ON SCHEMA korvane TO {viewer}",
    // Readers read the list (passwords only sealed) and log their connects by server id.
    "GRANT SELECT ON korvane.team, korvane.server, korvane.server_deleted, korvane.pruned,"
    " korvane.connection_log TO {viewer}",
    "GRANT INSERT (server) ON korvane.connection_log TO {viewer}",
    "GRANT EXECUTE ON FUNCTION korvane.rekeying() TO {viewer}",
    // Editors add and change a server's values, never its id, version or stamps.
    "GRANT INSERT (id, host, port, username, password, remark) ON korvane.server TO {editor}",
    "GRANT UPDATE (host, port, username, password, remark) ON korvane.server TO {editor}",
    "GRANT USAGE ON SEQUENCE korvane.server_id_seq TO {editor}",
    "GRANT EXECUTE ON FUNCTION korvane.delete_server(bigint, bigint) TO {editor}",
    // The administrator also writes the key's settings at a rekey.
    "GRANT UPDATE (value) ON korvane.team TO {admin}",
    "GRANT EXECUTE ON FUNCTION korvane.begin_rekey() TO {admin}",
};

// Version 3: the history of the list and the administrator's settings. `team init` makes them
// with the rest; `team upgrade` adds them to a team made at version 2, in one transaction.
const char* const kHistory[] = {
    kGuardTeam,
    kStamp,
    // Every version of a server that a change or a deletion replaced, as it was (its password
    // sealed as it was, for the row it was in), with who made that version and when, and who
    // replaced it and when: the database's word, as in the row itself. Members read it; only
    // the owner's trigger writes it.
    "CREATE TABLE korvane.server_history (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " server bigint NOT NULL, version bigint NOT NULL,"
    " host text NOT NULL, port text NOT NULL, username text NOT NULL, password text NOT NULL, remark text NOT NULL,"
    " changed_by text NOT NULL, changed_at timestamptz NOT NULL,"
    " replaced_by text NOT NULL, replaced_at timestamptz NOT NULL, deleted boolean NOT NULL)",
    "CREATE INDEX server_history_server ON korvane.server_history (server, id)",
    "CREATE INDEX server_history_replaced_at ON korvane.server_history (replaced_at)",

    // A rekey's resealing keeps the row's version (stamp): its values did not change, and it
    // leaves no history. Any other change numbers a new version. A member who changes one
    // server in a loop keeps only its oldest version and its last 99: the history of a server
    // grows no further than that, and the history as a whole no faster than the list itself
    // could; and the loop never pushes out the values the server had before it began.
    "CREATE FUNCTION korvane.keep_history() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "DECLARE\n"
    "  replaced timestamptz := pg_catalog.clock_timestamp();\n"
    "BEGIN\n"
    // Replaced when its successor was made; deleted now, and never before it was made.
    "  IF TG_OP = 'UPDATE' THEN\n"
    "    IF NEW.version = OLD.version THEN\n"
    "      RETURN NULL;\n"
    "    END IF;\n"
    "    replaced := NEW.changed_at;\n"
    "  ELSE\n"
    "    replaced := GREATEST(replaced, OLD.changed_at);\n"
    "  END IF;\n"
    "  INSERT INTO korvane.server_history (server, version, host, port, username, password, remark,\n"
    "                                     changed_by, changed_at, replaced_by, replaced_at, deleted)\n"
    "    VALUES (OLD.id, OLD.version, OLD.host, OLD.port, OLD.username, OLD.password, OLD.remark,\n"
    "            OLD.changed_by, OLD.changed_at, session_user, replaced, TG_OP = 'DELETE');\n"
    "  DELETE FROM korvane.server_history WHERE id IN (\n"
    "    SELECT id FROM korvane.server_history WHERE server = OLD.id\n"
    "      AND id > (SELECT pg_catalog.min(h.id) FROM korvane.server_history h WHERE h.server = OLD.id)\n"
    "    ORDER BY id DESC OFFSET 99 LIMIT 100 FOR UPDATE SKIP LOCKED);\n"
    "  RETURN NULL;\n"
    "END\n$$",
    "CREATE TRIGGER server_keep_history AFTER UPDATE OR DELETE ON korvane.server"
    " FOR EACH ROW EXECUTE FUNCTION korvane.keep_history()",

    // Versions replaced longer ago than the administrator's "history days" (90 when unset, or
    // set to anything but a count of days) go on the way, once a statement: a thousand at most,
    // and none that another member's pruning holds, so no write waits for another's pruning.
    "CREATE FUNCTION korvane.prune_history() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "DECLARE\n"
    "  days integer;\n"
    "BEGIN\n"
    "  SELECT value::integer INTO days FROM korvane.team WHERE name = 'history days' AND value ~ '^[1-9][0-9]{0,4}$';\n"
    "  DELETE FROM korvane.server_history WHERE id IN (\n"
    "    SELECT id FROM korvane.server_history\n"
    "    WHERE replaced_at < pg_catalog.now() - pg_catalog.make_interval(days => COALESCE(days, 90))\n"
    "    ORDER BY replaced_at LIMIT 1000 FOR UPDATE SKIP LOCKED);\n"
    "  RETURN NULL;\n"
    "END\n$$",
    "CREATE TRIGGER server_prune_history AFTER UPDATE OR DELETE ON korvane.server"
    " FOR EACH STATEMENT EXECUTE FUNCTION korvane.prune_history()",

    // A kept version changes only its seal, and only in the administrator's rekey: the new key
    // must open it, and nothing else about it may change afterwards.
    "CREATE FUNCTION korvane.guard_history() RETURNS trigger LANGUAGE plpgsql"
    " SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    "  IF NOT (korvane.rekeying() AND pg_catalog.pg_has_role(session_user, {admin_name}, 'MEMBER')) THEN\n"
    "    RAISE EXCEPTION 'the history changes only its seals, and only in a rekey';\n"
    "  END IF;\n"
    "  RETURN NEW;\n"
    "END\n$$",
    "CREATE TRIGGER server_history_guard BEFORE UPDATE ON korvane.server_history"
    " FOR EACH ROW EXECUTE FUNCTION korvane.guard_history()",

    // The administrator's two settings, and nothing else: whether members may keep an offline
    // copy, and how many days the history is kept. Checked here, since the administrator can
    // call it from psql as well as through the program.
    "CREATE FUNCTION korvane.set_setting(p_name text, p_value text) RETURNS void LANGUAGE plpgsql"
    " SECURITY DEFINER SET search_path = pg_catalog, korvane, pg_temp AS $$\n"
    "BEGIN\n"
    "  IF NOT pg_catalog.pg_has_role(session_user, {admin_name}, 'MEMBER') THEN\n"
    "    RAISE EXCEPTION 'only the team''s administrator sets the team''s settings' USING ERRCODE = '42501';\n"
    "  END IF;\n"
    "  IF NOT ((p_name = 'offline copy' AND p_value IN ('on', 'off'))\n"
    "          OR (p_name = 'history days' AND p_value ~ '^[1-9][0-9]{0,4}$')) THEN\n"
    "    RAISE EXCEPTION 'no setting % = %', p_name, p_value USING ERRCODE = '22023';\n"
    "  END IF;\n"
    "  INSERT INTO korvane.team (name, value) VALUES (p_name, p_value)\n"
    "    ON CONFLICT (name) DO UPDATE SET value = EXCLUDED.value;\n"
    "END\n$$",

    "REVOKE ALL ON korvane.server_history FROM PUBLIC",
    "REVOKE ALL ON ALL SEQUENCES IN SCHEMA korvane FROM PUBLIC",
    "REVOKE ALL ON ALL FUNCTIONS IN SCHEMA korvane FROM PUBLIC",
    // Readers read the history (passwords only sealed, as in the list); the administrator
    // reseals it in a rekey and sets the settings.
    "GRANT SELECT ON korvane.server_history TO {viewer}",
    "GRANT UPDATE (password) ON korvane.server_history TO {admin}",
    "GRANT EXECUTE ON FUNCTION korvane.set_setting(text, text) TO {admin}",
};

// The database's own rights, by its owner (the administrator).
const char* const kDatabase[] = {
    // Nobody creates in public: a function there could be what a careless query resolves to.
    "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
    // Only the team's roles connect, and nobody makes temporary objects (pg_temp comes first
    // in a search_path that does not name it).
    "REVOKE ALL ON DATABASE {database} FROM PUBLIC",
    "GRANT CONNECT ON DATABASE {database} TO {viewer}, {editor}, {admin}",
    // Defaults for every session, also a member's own psql: a transaction left open or a lock
    // waited for ends, rather than holding others up. The program sets its own on top.
    "ALTER DATABASE {database} SET idle_in_transaction_session_timeout = '60s'",
    "ALTER DATABASE {database} SET lock_timeout = '5s'",
};

std::vector<std::string> Fill(const auto& statements, const TeamRoles& roles, std::string_view database) {
  std::vector<std::string> filled;
  for (const char* statement : statements) filled.push_back(Filled(statement, roles, database));
  return filled;
}

}  // namespace

std::optional<TeamRoles> TeamRolesFor(std::string_view database) {
  if (database.empty() || database.size() > kLongestDatabaseName) return std::nullopt;
  if (database[0] >= '0' && database[0] <= '9') return std::nullopt;
  for (char c : database) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return std::nullopt;
  }
  const std::string name(database);
  return TeamRoles{name + "_owner", name + "_viewer", name + "_editor", name + "_admin"};
}

std::string QuotedIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string QuotedLiteral(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

TeamSchemaStatements TeamSchema(const TeamRoles& roles, std::string_view database) {
  TeamSchemaStatements schema{Fill(kAsAdministrator, roles, database), Fill(kAsOwner, roles, database),
                              Fill(kDatabase, roles, database)};
  for (std::string& statement : Fill(kHistory, roles, database)) schema.asOwner.push_back(std::move(statement));
  return schema;
}

std::vector<std::string> TeamHistorySchema(const TeamRoles& roles, std::string_view database) {
  return Fill(kHistory, roles, database);
}

}  // namespace korvane
