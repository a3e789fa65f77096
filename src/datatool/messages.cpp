#include "datatool/messages.h"

#include <iterator>

namespace korvane::tool {
// clang-format off
const MessageText kMessageTable[] = {
    {Msg::kUsageOverview,
     "usage: korvane-data COMMAND ARGUMENTS\n\n"
     "Makes, checks and fills the data file (mstsc.mdb) of Korvane.\n\nCommands:\n",
     "用法：korvane-data COMMAND ARGUMENTS\n\n"
     "创建、检查并填充 Korvane 的数据文件（mstsc.mdb）。\n\n命令：\n"},
    {Msg::kSigningOverviewLine,
     "  signing-certificate list | set THUMBPRINT | off\n"
     "      (Windows) choose the certificate that signs connection files\n",
     "  signing-certificate list | set THUMBPRINT | off\n"
     "      （Windows）选择为连接文件签名的证书\n"},
    {Msg::kOverviewEnd,
     "\nkorvane-data COMMAND --help tells more about one command.\n"
     "Exit status: 0 done, 1 the command failed, 2 a wrong command line.\n",
     "\nkorvane-data COMMAND --help 显示某个命令的详细说明。\n"
     "退出状态：0 完成，1 命令失败，2 命令行有误。\n"},
    {Msg::kUsagePrefix, "usage: {0}", "用法：{0}"},
    {Msg::kMoreHelp, "(korvane-data {0} --help tells more)", "（korvane-data {0} --help 显示详细说明）"},
    {Msg::kNoCommand, "no command {0}", "没有命令 {0}"},
    {Msg::kNoOption, "no option {0}", "没有选项 {0}"},
    {Msg::kTooFewArguments, "too few arguments", "参数太少"},
    {Msg::kTooManyArguments, "too many arguments", "参数太多"},

    {Msg::kCreateSummary, "make a new data file", "新建数据文件"},
    {Msg::kCreateHelp,
     "Makes a new data file at PATH: tables Login and Server, the one login row and the\n"
     "database password. The first login password is FIRST_LOGIN_PASSWORD, or admin when none\n"
     "is given. Refuses a PATH where anything exists already.\n",
     "在 PATH 新建数据文件：包含 Login 和 Server 两张表、唯一的登录行以及数据库密码。\n"
     "初始登录密码为 FIRST_LOGIN_PASSWORD，未给出时为 admin。PATH 处已有任何东西时拒绝创建。\n"},
    {Msg::kAddServerSummary, "add one server and print its id", "添加一台服务器并输出其 id"},
    {Msg::kAddServerHelp,
     "Adds one server to the data file at PATH and prints its new id. An empty value is stored\n"
     "as empty (null). The password stands on the command line, where other users of this\n"
     "machine may see it while the tool runs; import takes servers from a file instead.\n"
     "On a protected file the login password is asked for, and the password is stored sealed.\n"
     "On a member of a team (team join) it works on the team's servers, and asks for the login\n"
     "password to reach them.\n",
     "向 PATH 处的数据文件添加一台服务器，并输出它的新 id。空值按空（null）保存。密码写在命令\n"
     "行上，工具运行期间本机其他用户可能看到它；import 则从文件读取服务器。\n"
     "对受保护的文件，会询问登录密码，密码加密后保存。\n"
     "对团队成员文件（team join），它作用于团队的服务器，并询问登录密码以连接团队。\n"},
    {Msg::kListSummary, "show the servers", "显示服务器"},
    {Msg::kListHelp,
     "Shows the servers of the data file FILE in id order, one a line after a header line:\n"
     "id, remark, host, port and user, separated by tabs. A tab, line break or backslash in a\n"
     "value is shown as \\t, \\n or \\\\ (other control characters as \\xHH, and the marks that\n"
     "turn the direction of text as \\uHHHH), so that every server keeps to its line and shows\n"
     "what it holds. Passwords are left out unless --show-passwords adds them as the last\n"
     "column. The file is only read, but for a write to it that was cut short (its journal left\n"
     "beside it), which is rolled back first, as at the program's next login, and said so.\n"
     "On a protected file the list needs no password; --show-passwords asks for the login\n"
     "password and shows the passwords opened.\n"
     "On a member of a team (team join) it works on the team's servers, and asks for the login\n"
     "password to reach them.\n",
     "按 id 顺序显示数据文件 FILE 中的服务器：先是一行表头，之后每行一台服务器，依次为 id、\n"
     "remark、host、port 和 user，以制表符分隔。值中的制表符、换行符或反斜杠显示为 \\t、\\n 或\n"
     "\\\\（其他控制字符显示为 \\xHH，改变文字方向的标记显示为 \\uHHHH），使每台服务器都只占\n"
     "一行，并如实显示其内容。除非用 --show-passwords 把密码作为最后一列加上，否则不显示密码。\n"
     "文件只会被读取；只有中途被打断的写入（其日志文件留在旁边）会像程序下次登录时那样先被回滚，\n"
     "并会说明。对受保护的文件，列出时不需要密码；\n"
     "--show-passwords 会询问登录密码并显示解开的密码。\n"
     "对团队成员文件（team join），它作用于团队的服务器，并询问登录密码以连接团队。\n"},
    {Msg::kCheckSummary, "check a data file without changing it", "检查数据文件，不做任何修改"},
    {Msg::kCheckHelp,
     "Checks that FILE is a data file this program can use: its format marker and database\n"
     "password, tables Login and Server with the fields the program reads, the Login row with\n"
     "Key By.Oxle and a password in it, and SQLite's integrity check of every page. Prints each\n"
     "problem on a line of standard error and exits with 1, or prints one line saying OK on\n"
     "standard output and exits with 0. The file is opened read-only: the check never changes\n"
     "a byte of it. Only a write to it that was cut short (its journal left beside it, and\n"
     "until it is rolled back no program can read the file) is rolled back first, as at the\n"
     "program's next login, and the check says so.\n"
     "On a protected file it also checks the protection row and asks for the login password,\n"
     "then checks that the password is right and that every sealed server password opens. On\n"
     "a plain file it reports every server password that looks sealed (the file lost its\n"
     "protection table): no password opens it, and it is no password to connect with.\n"
     "On a member of a team (team join) it then reaches the team with the login password: its\n"
     "database, its key, and that every password of the team's servers opens.\n",
     "检查 FILE 是否为本程序可用的数据文件：格式标记和数据库密码、Login 和 Server 两张表及程序\n"
     "读取的字段、Key 为 By.Oxle 且含有密码的 Login 行，以及 SQLite 对每一页的完整性检查。每个\n"
     "问题在标准错误输出上占一行，并以 1 退出；否则在标准输出上输出一行 OK，并以 0 退出。文件以\n"
     "只读方式打开：检查绝不会改动其中任何一个字节。只有中途被打断的写入（其日志文件留在旁边，\n"
     "回滚之前任何程序都无法读取该文件）会像程序下次登录时那样先被回滚，检查会说明这一点。\n"
     "对受保护的文件，还会检查保护行并询问登录密码，然后检查密码是否正确、每个加密的服务器密码\n"
     "能否解开。对普通文件，会报告每个看似已加密的服务器密码（文件丢失了保护表）：没有密码能\n"
     "解开它，它也不能用来连接。\n"
     "对团队成员文件（team join），还会用登录密码连接团队：检查其数据库、其密钥，以及团队每台\n"
     "服务器的密码能否解开。\n"},
    {Msg::kSetLoginPasswordSummary, "change the password of the login window", "修改登录窗口的密码"},
    {Msg::kSetLoginPasswordHelp,
     "Changes the password that the login window asks for: the one of the Login row with Key\n"
     "By.Oxle. On a terminal the new password is asked for twice and not shown; otherwise it\n"
     "is the first line of standard input, for instance\n"
     "    printf '%s\\n' \"$NEW_PASSWORD\" | korvane-data set-login-password mstsc.mdb\n"
     "It is never taken from the command line. An empty password is refused: the program\n"
     "stores it as null, which no login matches.\n"
     "On a protected file the current login password is asked for first (on standard input,\n"
     "the first line; the new one is the second), and every server password is sealed anew\n"
     "under the new one, all in one transaction.\n",
     "修改登录窗口所要的密码，即 Key 为 By.Oxle 的 Login 行中的密码。在终端上，新密码要输入\n"
     "两次且不显示；否则取标准输入的第一行，例如\n"
     "    printf '%s\\n' \"$NEW_PASSWORD\" | korvane-data set-login-password mstsc.mdb\n"
     "绝不从命令行读取。空密码会被拒绝：程序把它存为 null，任何登录都无法匹配。\n"
     "对受保护的文件，先询问当前登录密码（在标准输入上为第一行，新密码为第二行），然后在同一个\n"
     "事务中用新密码重新加密每个服务器密码。\n"},
    {Msg::kExportSummary, "write the servers to a new CSV file", "把服务器写入新的 CSV 文件"},
    {Msg::kExportHelp,
     "Writes the servers of the data file FILE to a new UTF-8 CSV file: the header line\n"
     "host,port,user,password,remark, then one server a record in id order. Every field that\n"
     "is not empty is quoted; an empty value is an empty field.\n"
     "A value that begins with =, +, -, @, a tab or a carriage return, which a spreadsheet\n"
     "would run as a formula, is written with an apostrophe (') in front, and so is a value\n"
     "that begins with an apostrophe; import takes exactly that apostrophe off again.\n"
     "A spreadsheet that saves the CSV again may still change values it takes for numbers:\n"
     "a port such as 03389 loses its leading zero, and a long run of digits (a user name or a\n"
     "password) becomes a number, perhaps in scientific notation (1.23457E+15). Open such a\n"
     "CSV with those columns as text, or check the values after importing it.\n"
     "The passwords are written in clear: the CSV is as sensitive as the data file. Keep it as\n"
     "safe and delete it when done. Only the user who exported it may open it, where the file\n"
     "system keeps permissions: on Windows its access list names that user alone, elsewhere\n"
     "its mode is 0600. Refuses to overwrite an existing file. On a protected file the login\n"
     "password is asked for, and the passwords are opened for the CSV.\n"
     "On a member of a team (team join) it works on the team's servers, and asks for the login\n"
     "password to reach them.\n",
     "把数据文件 FILE 中的服务器写入新的 UTF-8 CSV 文件：先是表头行\n"
     "host,port,user,password,remark，然后按 id 顺序每台服务器一条记录。每个非空字段都加引号；\n"
     "空值为空字段。\n"
     "以 =、+、-、@、制表符或回车开头的值（电子表格会把它当作公式执行）前面会加一个撇号（'），\n"
     "以撇号开头的值也是如此；import 会恰好去掉这个撇号。\n"
     "电子表格再次保存 CSV 时，仍可能改动它当作数字的值：03389 这样的端口会丢掉开头的零，\n"
     "一长串数字（用户名或密码）会变成数字，甚至是科学计数法（1.23457E+15）。打开这样的 CSV\n"
     "时请把这些列设为文本，或在导入后检查这些值。\n"
     "密码以明文写入：CSV 与数据文件同样敏感。请同样妥善保管，用完即删除。在文件系统支持权限\n"
     "的地方，只有导出它的用户能打开它：在 Windows 上其访问列表只含该用户，在其他系统上其模式\n"
     "为 0600。拒绝覆盖已有文件。对受保护的文件，会询问登录密码，并为 CSV 解开密码。\n"
     "对团队成员文件（team join），它作用于团队的服务器，并询问登录密码以连接团队。\n"},
    {Msg::kImportSummary, "add the servers of a CSV file or of another tool's files",
     "添加 CSV 文件或其他工具文件中的服务器"},
    {Msg::kImportHelp,
     "Adds servers to the data file FILE. SOURCE is recognised by its content:\n"
     "  - mRemoteNG's confCons.xml, every version: Remote Desktop connections with host,\n"
     "    port, user (DOMAIN\\user where a domain is set), password and name, fields the file\n"
     "    inherits from its folders resolved; other protocols are skipped. A file under a\n"
     "    master password asks for it (a wrong one imports nothing). Opening each password\n"
     "    takes a key derivation; they run on every core, with progress on a terminal.\n"
     "  - RDCMan's .rdg (2.2, 2.7 and 3.x): host, display name, port, and the logon\n"
     "    credentials (inherited from the groups, or from a credentials profile in the file).\n"
     "  - a Remote Desktop .rdp file, or a folder of them: full address (with its port),\n"
     "    server port, username and password (the file name is the name).\n"
     "  - a UTF-8 CSV with the header host,port,user,password,remark, as export writes it.\n"
     "Passwords that Windows protected for its user (RDCMan, .rdp) open only for the Windows\n"
     "user who saved them, and only in korvane-data.exe; one that does not open is imported\n"
     "empty and named. The name becomes the remark, after the path of the groups the server\n"
     "sat in (\"机房A/Web/web-01\"). Every server of SOURCE is added, also two alike, except\n"
     "one whose host, port, user and password a server of FILE already had (the remark may\n"
     "differ), so importing a file twice adds nothing the second time. One that has the host,\n"
     "port and user of a server of FILE but another password is added and named, so that you\n"
     "can delete the stale one.\n"
     "--dry-run shows what would be added and writes nothing. Everything is read first, then\n"
     "written in one step: on any error nothing is imported, and the message names the file\n"
     "and the line or server. On a protected file the login password is asked for, and the\n"
     "passwords are stored sealed.\n"
     "CSV: a field that holds commas, quotes or line breaks is quoted whole, its quotes\n"
     "doubled, as spreadsheets write it; blanks around a field are kept; an empty field is\n"
     "stored as empty (null). A field that begins with an apostrophe (') followed by =, +, -,\n"
     "@, a tab, a carriage return or another apostrophe loses that one apostrophe, which\n"
     "export puts there to keep spreadsheets from running the value as a formula. A CSV saved\n"
     "again by a spreadsheet may hold values it changed: a port such as 03389 without its\n"
     "leading zero, a long run of digits as a number in scientific notation. A bad line is\n"
     "reported with its line number.\n"
     "On a member of a team (team join) it works on the team's servers, and asks for the login\n"
     "password to reach them.\n",
     "向数据文件 FILE 添加服务器。SOURCE 按其内容识别：\n"
     "  - mRemoteNG 的 confCons.xml（所有版本）：远程桌面连接的主机、端口、用户（设有域时为\n"
     "    DOMAIN\\user）、密码和名称，文件从其文件夹继承的字段会被解析；其他协议跳过。设有主密码\n"
     "    的文件会询问主密码（密码错误则什么也不导入）。解开每个密码都需要一次密钥派生；它们在\n"
     "    所有处理器核心上运行，在终端上显示进度。\n"
     "  - RDCMan 的 .rdg（2.2、2.7 和 3.x）：主机、显示名称、端口以及登录凭据（从组继承，或来自\n"
     "    文件中的凭据配置）。\n"
     "  - 远程桌面 .rdp 文件或包含它们的文件夹：full address（含端口）、server port、username\n"
     "    和 password（文件名作为名称）。\n"
     "  - 表头为 host,port,user,password,remark 的 UTF-8 CSV，即 export 写出的格式。\n"
     "Windows 为其用户保护的密码（RDCMan、.rdp）只有保存它们的 Windows 用户才能解开，且只在\n"
     "korvane-data.exe 中；解不开的密码按空导入并会列出。名称成为备注，前面是服务器所在组的路径\n"
     "（\"机房A/Web/web-01\"）。SOURCE 中的每台服务器都会添加，两台相同的也一样；只有主机、端口、\n"
     "用户和密码与 FILE 中已有服务器都相同的（备注可以不同）不再添加，因此同一文件导入两次，\n"
     "第二次什么也不添加。主机、端口和用户相同而密码不同的会添加并列出，以便删除过时的那台。\n"
     "--dry-run 显示将会添加的内容，不写入任何东西。先读取全部内容，再一步写入：出现任何错误时\n"
     "什么也不导入，消息会指出文件以及行或服务器。对受保护的文件，会询问登录密码，密码加密后\n"
     "保存。\n"
     "CSV：含逗号、引号或换行的字段整体加引号，其中的引号双写，与电子表格的写法相同；字段两侧的\n"
     "空白保留；空字段按空（null）保存。以撇号（'）开头、后跟 =、+、-、@、制表符、回车或另一个\n"
     "撇号的字段会去掉这一个撇号，它是 export 为防止电子表格把值当作公式执行而加上的。电子表格\n"
     "再次保存的 CSV 可能含有被改动的值：03389 这样的端口丢了开头的零，一长串数字成了科学计数法\n"
     "的数字。有误的行会连同行号一起报告。\n"
     "对团队成员文件（team join），它作用于团队的服务器，并询问登录密码以连接团队。\n"},
    {Msg::kProtectSummary, "seal the passwords so that a copied file reveals none",
     "加密密码，使文件被复制后也不泄露任何密码"},
    {Msg::kProtectHelp,
     "Protects the data file FILE: a copy of it no longer reveals the login password or any\n"
     "server password. The current login password is asked for (on a terminal without echo,\n"
     "otherwise the first line of standard input; never from the command line) and checked.\n"
     "Then, in one transaction, the file gets a table Protection with a random salt, the login\n"
     "row gets a verifier derived from the password (PBKDF2-HMAC-SHA256, 600000 iterations)\n"
     "instead of the password, and every server password is sealed with AES-256-GCM under a\n"
     "key derived from it. Hosts, ports, users and remarks stay readable. The program opens\n"
     "such a file with the same login password. A forgotten login password cannot be\n"
     "recovered from a protected file: keep an export, or the password, somewhere safe.\n"
     "Last, the file is rebuilt (VACUUM), so that no password it held before is left in plain\n"
     "text in its free space. Should only that fail, the file is protected all the same and\n"
     "protect says so and exits with 1: run it again once no program has the file open. On a\n"
     "file that is protected already, protect asks for nothing and only rebuilds it.\n",
     "保护数据文件 FILE：其副本不再泄露登录密码或任何服务器密码。会询问并核对当前登录密码（在\n"
     "终端上不回显，否则取标准输入的第一行；绝不从命令行读取）。\n"
     "然后在同一个事务中：文件增加一张含随机盐值的 Protection 表，登录行不再保存密码，而是保存\n"
     "由密码派生的校验值（PBKDF2-HMAC-SHA256，600000 次迭代），每个服务器密码用由它派生的密钥以\n"
     "AES-256-GCM 加密。主机、端口、用户和备注仍可读取。程序用同一个登录密码打开这样的文件。\n"
     "忘记的登录密码无法从受保护的文件中找回：请把导出的文件或密码保存在安全的地方。\n"
     "最后重建文件（VACUUM），使其空闲空间中不留下以前的明文密码。如果只有这一步失败，文件仍然\n"
     "受到保护，protect 会说明这一点并以 1 退出：请在没有程序打开该文件时再运行一次。对已受保护\n"
     "的文件，protect 不询问任何东西，只重建文件。\n"},
    {Msg::kUnprotectSummary, "turn a protected file back into a plain one", "把受保护的文件恢复为普通文件"},
    {Msg::kUnprotectHelp,
     "Turns a protected data file back into the plain layout that other tools can read: the\n"
     "login password (asked for as protect asks for it) is stored as itself again and every\n"
     "server password in plain text. All in one transaction: if any sealed password does not\n"
     "open, nothing changes.\n",
     "把受保护的数据文件恢复为其他工具能读取的普通格式：登录密码（与 protect 一样询问）重新按原样\n"
     "保存，每个服务器密码恢复为明文。全部在一个事务中完成：只要有一个加密的密码解不开，就什么\n"
     "也不改动。\n"},

    {Msg::kCannotSeal, "{0}: the system's cryptography refused to seal the password",
     "{0}：系统的加密功能拒绝加密该密码"},
    {Msg::kCannotAddServer, "{0}: cannot add the server: {1}", "{0}：无法添加服务器：{1}"},

    {Msg::kNoSuchFile, "{0}: no such file", "{0}：没有这个文件"},
    {Msg::kNotAFile, "{0}: not a file", "{0}：不是文件"},
    {Msg::kCannotOpen, "{0}: cannot open: {1}", "{0}：无法打开：{1}"},
    {Msg::kNotADataFile,
     "{0}: not a data file of this program, or damaged (korvane-data check {0} tells what is wrong)",
     "{0}：不是本程序的数据文件，或已损坏（korvane-data check {0} 会指出问题所在）"},
    {Msg::kNotWritable,
     "{0}: cannot open for writing: not a data file of this program, damaged, or in a place this "
     "user may not write (korvane-data check {0} tells whether the file itself is sound)",
     "{0}：无法以写入方式打开：不是本程序的数据文件、已损坏，或位于当前用户无权写入的位置"
     "（korvane-data check {0} 会指出文件本身是否完好）"},
    {Msg::kInUse, "{0}: another program is writing it and did not finish within {1} seconds; try again when it has",
     "{0}：另一个程序正在写入它，{1} 秒内未完成；请等它完成后再试"},
    {Msg::kRolledBack,
     "{0}: the last write to it was cut short; SQLite rolled it back, as the program does at its "
     "next login",
     "{0}：上次对它的写入中途被打断；SQLite 已将其回滚，与程序下次登录时所做的相同"},
    {Msg::kCannotRollBack,
     "{0}: the last write to it was cut short, and SQLite can read it only after rolling that "
     "write back from {1}, which needs leave to write the file and its folder; run this, or the "
     "program, which rolls it back at its login, as a user who may",
     "{0}：上次对它的写入中途被打断，SQLite 须先用 {1} 把那次写入回滚才能读取它，而这需要对该文件"
     "及其所在文件夹的写入权限；请以有此权限的用户运行本命令或程序（程序登录时会将其回滚）"},
    {Msg::kJournalNotItsOwn,
     "{0}: the last write to it was cut short, but the journal beside it, {1}, is not a plain file "
     "of the data file's owner, so it was not used, and nothing was read or changed; find out who "
     "made {1}, and delete it if the program did not",
     "{0}：上次对它的写入中途被打断，但它旁边的日志文件 {1} 不是数据文件所有者的普通文件，因此未被使用，"
     "也未读取或改动任何内容；请查明 {1} 由谁创建，若不是本程序留下的，请删除它"},
    {Msg::kServerLabel, "server {0} (host {1})", "服务器 {0}（主机 {1}）"},
    {Msg::kServerLabelWithRemark, "server {0} ({1}, host {2})", "服务器 {0}（{1}，主机 {2}）"},
    {Msg::kOneServer, "1 server", "1 台服务器"},
    {Msg::kServers, "{0} servers", "{0} 台服务器"},
    {Msg::kNothingDone, "nothing done", "未做任何操作"},
    {Msg::kNothingChanged, "nothing changed", "未做任何改动"},
    {Msg::kNothingImported, "nothing imported", "未导入任何内容"},

    {Msg::kLoginPasswordPrompt, "Login password: ", "登录密码："},
    {Msg::kCurrentLoginPasswordPrompt, "Current login password: ", "当前登录密码："},
    {Msg::kNewLoginPasswordPrompt, "New login password: ", "新登录密码："},
    {Msg::kSameAgainPrompt, "The same again: ", "再输入一次："},
    {Msg::kNoPasswordTyped, "no password typed; {0}", "没有输入密码；{0}"},
    {Msg::kNoPasswordOnInput, "no password on standard input; {0}", "标准输入上没有密码；{0}"},
    {Msg::kPasswordsDiffer, "the two passwords differ; nothing changed", "两次输入的密码不同；未做任何改动"},
    {Msg::kEmptyLoginPassword, "an empty login password would lock everybody out; nothing changed",
     "空的登录密码会把所有人挡在外面；未做任何改动"},
    {Msg::kPasswordNotUtf8, "the password is not UTF-8 text; nothing changed", "密码不是 UTF-8 文本；未做任何改动"},
    {Msg::kCannotReadLogin, "{0}: cannot read table Login: {1}", "{0}：无法读取 Login 表：{1}"},
    {Msg::kNoLoginRow, "{0}: table Login has no row with Key {1}, the row the login reads; nothing changed",
     "{0}：Login 表中没有 Key 为 {1} 的行，而登录读取的正是这一行；未做任何改动"},
    {Msg::kCannotStorePassword, "{0}: cannot store the password: {1}; the old one still holds",
     "{0}：无法保存密码：{1}；旧密码仍然有效"},
    {Msg::kLoginPasswordChanged, "login password changed", "登录密码已修改"},
    {Msg::kProtectionRowDamaged, "{0}: protected, but its protection row is damaged: no password can open it",
     "{0}：文件受保护，但其保护行已损坏：任何密码都无法打开它"},
    {Msg::kWrongLoginPassword, "{0}: that is not the login password; nothing done", "{0}：这不是登录密码；未做任何操作"},

    {Msg::kRebuildFailed,
     "{0}: protected already, but rebuilding it failed: {1}; old passwords may remain in plain text in its free space",
     "{0}：已受保护，但重建失败：{1}；其空闲空间中可能仍留有明文的旧密码"},
    {Msg::kProtectedAlreadyRebuilt,
     "{0}: protected already; rebuilt, so that no old password is left in plain text in it",
     "{0}：已受保护；已重建，文件中不再留有明文的旧密码"},
    {Msg::kNotProtectedNothingChanged, "{0}: not protected; nothing changed", "{0}：未受保护；未做任何改动"},
    {Msg::kProtectedAlreadyNothingChanged, "{0}: protected already; nothing changed", "{0}：已受保护；未做任何改动"},
    {Msg::kDamagedProtectionNothingChanged, "{0}: its protection row is damaged; nothing changed",
     "{0}：其保护行已损坏；未做任何改动"},
    {Msg::kProtectOnlyRebuildFailed,
     "{0}: {1}. Close every program that has the file open and run korvane-data protect {0} again: "
     "on a protected file it only rebuilds it",
     "{0}：{1}。请关闭所有打开该文件的程序，再运行一次 korvane-data protect {0}：对受保护的文件"
     "它只重建文件"},
    {Msg::kConversionFailed, "{0}: {1}; nothing changed", "{0}：{1}；未做任何改动"},
    {Msg::kProtectedDone, "{0}: protected. Keep the login password safe: it cannot be recovered from the file",
     "{0}：已保护。请妥善保管登录密码：它无法从文件中找回"},
    {Msg::kUnprotectedDone, "{0}: unprotected: the passwords are plain text again", "{0}：已取消保护：密码重新成为明文"},
    {Msg::kCannotRead, "cannot read {0}: {1}",
     "无法读取{0}：{1}"},
    {Msg::kWhatFormatMarker, "the format marker",
     "格式标记"},
    {Msg::kWhatDatabasePassword, "the database password",
     "数据库密码"},
    {Msg::kWhatTableLogin, "table Login",
     " Login 表"},
    {Msg::kWhatTableServer, "table Server",
     " Server 表"},
    {Msg::kWhatFileTables, "the file's tables",
     "文件的表"},
    {Msg::kWhatTheFile, "the file",
     "文件"},
    {Msg::kNoMetadataTable, "no table {0}: not a data file of this program (no format marker, no database password)",
     "没有 {0} 表：不是本程序的数据文件（没有格式标记，也没有数据库密码）"},
    {Msg::kNoFormatMarker, "no format marker: not a data file of this program",
     "没有格式标记：不是本程序的数据文件"},
    {Msg::kWrongFormatMarker, "format marker \"{0}\" where this program writes \"{1}\"",
     "格式标记为 \"{0}\"，而本程序写入的是 \"{1}\""},
    {Msg::kNoDatabasePassword, "no database password: the program refuses the file",
     "没有数据库密码：程序拒绝打开该文件"},
    {Msg::kWrongDatabasePassword, "wrong database password: the program refuses the file",
     "数据库密码错误：程序拒绝打开该文件"},
    {Msg::kNoTable, "no table {0}",
     "没有 {0} 表"},
    {Msg::kNoField, "table {0} has no field {1}",
     "{0} 表没有字段 {1}"},
    {Msg::kNoLoginRowNobody, "table Login has no row with Key {0}: nobody can log in",
     "Login 表中没有 Key 为 {0} 的行：谁都无法登录"},
    {Msg::kManyLoginRows, "table Login has {0} rows with Key {1} where the program keeps one",
     "Login 表中有 {0} 行 Key 为 {1}，而程序只保留一行"},
    {Msg::kEmptyLoginPasswordInFile, "the login password is empty: no login can match it (korvane-data set-login-password sets one)",
     "登录密码为空：任何登录都无法匹配（korvane-data set-login-password 可设置密码）"},
    {Msg::kProtectionIsView, "{0} is a view, where this program keeps a table of its own: nobody can log in",
     "{0} 是视图，而本程序在此处保存的是自己的表：谁都无法登录"},
    {Msg::kProtectionNoRow, "table {0} has no row this program can derive keys from: nobody can log in",
     "{0} 表中没有本程序能用来派生密钥的行：谁都无法登录"},
    {Msg::kLooksSealedInPlainFile, "the password of {0} looks sealed, but the file is not protected (it has no table {1}): nothing can open it, and it is no password to connect with",
     "{0}的密码看似已加密，但文件未受保护（没有 {1} 表）：什么都无法解开它，它也不能用来连接"},
    {Msg::kNotSealedInProtectedFile, "the password of {0} is not sealed in this protected file",
     "{0}的密码在这个受保护的文件中未加密"},
    {Msg::kNoLoginPasswordGiven, "no login password given: whether the sealed passwords open is not checked",
     "没有给出登录密码：未检查加密的密码能否解开"},
    {Msg::kLoginPasswordMismatch, "the login password given does not match the file: the sealed passwords are not checked",
     "给出的登录密码与文件不符：未检查加密的密码"},
    {Msg::kSealedDoesNotOpen, "the password of {0} does not open: it was changed, sealed under another key, or its host was changed",
     "{0}的密码无法解开：它被改动过、用另一个密钥加密，或其主机被改动过"},
    {Msg::kPathSealedDoesNotOpen, "{0}: the password of {1} does not open: it was changed, sealed under another key, or its host was changed",
     "{0}：{1}的密码无法解开：它被改动过、用另一个密钥加密，或其主机被改动过"},
    {Msg::kShortFile, "damaged: the file is not as long as the pages it holds (cut short or extended)",
     "已损坏：文件长度与其包含的页不符（被截短或被加长）"},
    {Msg::kDamaged, "damaged: {0}",
     "已损坏：{0}"},
    {Msg::kCannotReadServers, "{0}: cannot read the servers: {1}",
     "{0}：无法读取服务器：{1}"},
    {Msg::kPathProblem, "{0}: {1}",
     "{0}：{1}"},
    {Msg::kCheckOk, "{0}: OK, a data file of this program with {1}",
     "{0}：OK，本程序的数据文件，含 {1}"},
    {Msg::kCheckOkProtected, "{0}: OK, a protected data file of this program with {1}",
     "{0}：OK，本程序受保护的数据文件，含 {1}"},
    {Msg::kAlreadyExists, "{0}: already exists; export never overwrites a file",
     "{0}：已存在；export 绝不覆盖文件"},
    {Msg::kScratchInTheWay, "{0}: cannot write: a file of the same scratch name is in the way",
     "{0}：无法写入：有一个同名的临时文件挡住了"},
    {Msg::kCannotWriteFolder, "{0}: cannot write (is its folder there, and may this user write in it?)",
     "{0}：无法写入（它的文件夹是否存在，当前用户能否在其中写入？）"},
    {Msg::kCannotWrite, "{0}: cannot write: {1}",
     "{0}：无法写入：{1}"},
    {Msg::kCannotReadFile, "{0}: cannot read",
     "{0}：无法读取"},
    {Msg::kNothingExported, "{0}: nothing exported; type those passwords again in the program first",
     "{0}：未导出任何内容；请先在程序中重新输入这些密码"},
    {Msg::kExported, "exported {0} to {1}",
     "已导出 {0}到 {1}"},
    {Msg::kOpeningPasswords, "opening passwords: {0} of {1}",
     "正在解开密码：{0} / {1}"},
    {Msg::kNothingImportedFrom, "{0}: nothing imported",
     "{0}：未导入任何内容"},
    {Msg::kSkipped, "{0}: skipped: {1}",
     "{0}：已跳过：{1}"},
    {Msg::kAlreadyThere, "{0} already there",
     "{0} 台已存在"},
    {Msg::kSkippedCount, "{0} skipped",
     "{0} 台已跳过"},
    {Msg::kWithoutPassword, "{0} without their password",
     "{0} 台没有密码"},
    {Msg::kCountsOpen, " (",
     "（"},
    {Msg::kCountsSeparator, ", ",
     "，"},
    {Msg::kCountsClose, ")",
     "）"},
    {Msg::kWouldAdd, "would add",
     "将添加"},
    {Msg::kWouldImport, "would import {0} from {1}{2}; nothing written",
     "将从 {1} 导入 {0}{2}；未写入任何内容"},
    {Msg::kCannotWriteNothingImported, "{0}: cannot write: {1}; nothing imported",
     "{0}：无法写入：{1}；未导入任何内容"},
    {Msg::kCannotAddServers, "{0}: cannot add the servers: {1}; nothing imported",
     "{0}：无法添加服务器：{1}；未导入任何内容"},
    {Msg::kImported, "imported {0} from {1}{2}",
     "已从 {1} 导入 {0}{2}"},
    {Msg::kBesideCount, "{0} beside a server with another password",
     "{0} 台与密码不同的同一服务器并存"},
    {Msg::kImportedServerLabel, "{0} (host {1}, port {2}, user {3})",
     "{0}（主机 {1}，端口 {2}，用户 {3}）"},
    {Msg::kWouldAddBeside, "{0}: would be added beside a server with another password: {1}",
     "{0}：将与一台主机、端口和用户相同但密码不同的服务器并存：{1}"},
    {Msg::kAddedBeside, "{0}: added beside a server with another password: {1}",
     "{0}：已添加，与一台主机、端口和用户相同但密码不同的服务器并存：{1}"},
    {Msg::kMoreNotes, "{0} more like these, not listed",
     "另有 {0} 条同类说明，未列出"},
#include "datatool/team_messages.inc"
    {Msg::kSigningUsage,
    "usage: korvane-data signing-certificate list\n"
    "       korvane-data signing-certificate set THUMBPRINT\n"
    "       korvane-data signing-certificate off\n",
    "用法：korvane-data signing-certificate list\n"
    "      korvane-data signing-certificate set THUMBPRINT\n"
    "      korvane-data signing-certificate off\n"},
    {Msg::kSigningOverview,
    "Connection files can be signed, so that the Remote Desktop client opens them without its\n"
    "security dialog once an administrator trusts the certificate's thumbprint (policy\n"
    "\"Specify thumbprints of certificates representing trusted .rdp publishers\"). The setting\n"
    "is the current user's: HKEY_CURRENT_USER\\Software\\Korvane, value SigningCertificate.\n"
    "Without it, connection files are written unsigned as always.\n"
    "\n"
    "  list             the certificates of your personal store that can sign\n"
    "  set THUMBPRINT   sign with that certificate from now on\n"
    "  off              stop signing\n"
    "\n"
    "korvane-data signing-certificate COMMAND --help tells more about one.\n",
    "连接文件可以签名，管理员信任证书的指纹后，远程桌面客户端打开它们时就不再显示安全对话框\n"
    "（策略 \"Specify thumbprints of certificates representing trusted .rdp publishers\"）。\n"
    "该设置属于当前用户：HKEY_CURRENT_USER\\Software\\Korvane，\n"
    "值 SigningCertificate。没有该设置时，连接文件照旧不签名写出。\n"
    "\n"
    "  list             个人证书存储中可用于签名的证书\n"
    "  set THUMBPRINT   从现在起用该证书签名\n"
    "  off              停止签名\n"
    "\n"
    "korvane-data signing-certificate COMMAND --help 显示某个命令的详细说明。\n"},
    {Msg::kSigningListHelp,
    "usage: korvane-data signing-certificate list\n\n"
    "Lists the certificates of the current user's personal store (\"MY\") that can sign now:\n"
    "valid today, allowed to sign, with a private key. One a line, separated by two blanks:\n"
    "  - the entry for the policy \"Specify thumbprints of certificates representing trusted\n"
    "    .rdp publishers\": sha256: and the SHA-256 thumbprint, as one word. Since the July 2026\n"
    "    update the client reads an entry without that prefix as a SHA-1 thumbprint;\n"
    "  - the SHA-1 thumbprint, the entry for clients without that update;\n"
    "  - the end of its validity (UTC) and the subject.\n"
    "The one set now is marked with '*' in front; the others with a blank. Both entries may\n"
    "stand in the policy, separated by a comma.\n",
    "用法：korvane-data signing-certificate list\n\n"
    "列出当前用户个人存储（\"MY\"）中现在可以签名的证书：今天有效、允许签名、带私钥。每行\n"
    "一个，以两个空格分隔：\n"
    "  - 用于策略 \"Specify thumbprints of certificates representing trusted .rdp publishers\"\n"
    "    的条目：sha256: 加上 SHA-256 指纹，作为一个词。自 2026 年 7 月的更新起，客户端把没有\n"
    "    该前缀的条目当作 SHA-1 指纹；\n"
    "  - SHA-1 指纹，即用于没有该更新的客户端的条目；\n"
    "  - 有效期截止时间（UTC）和主题。\n"
    "当前设置的证书前面标有 '*'，其他证书前面是空格。两个条目可以同时写在策略中，以逗号分隔。\n"},
    {Msg::kSigningSetHelp,
    "usage: korvane-data signing-certificate set THUMBPRINT\n\n"
    "Signs connection files with the certificate of this SHA-256 thumbprint (64 hexadecimal\n"
    "digits; blanks and colons between them, and sha256: in front, are allowed) from the next\n"
    "connect on. The certificate must be one that `list` shows. Put the entries `list` shows\n"
    "for it in the policy \"Specify thumbprints of certificates representing trusted .rdp\n"
    "publishers\".\n",
    "用法：korvane-data signing-certificate set THUMBPRINT\n\n"
    "从下次连接起，用该 SHA-256 指纹（64 位十六进制数字；数字之间允许有空格和冒号，前面允许有\n"
    "sha256:）的证书为连接文件签名。该证书必须是 `list` 显示的证书之一。请把 `list` 为它显示的\n"
    "条目写入策略 \"Specify thumbprints of certificates representing trusted .rdp publishers\"。\n"},
    {Msg::kSigningOffHelp,
    "usage: korvane-data signing-certificate off\n\n"
    "Removes the setting: connection files are written unsigned, as without it.\n",
    "用法：korvane-data signing-certificate off\n\n"
    "删除该设置：连接文件不再签名，与没有该设置时一样。\n"},
    {Msg::kNotAThumbprint, "not a SHA-256 thumbprint (64 hexadecimal digits): {0}",
     "不是 SHA-256 指纹（64 位十六进制数字）：{0}"},
    {Msg::kNoSigningCertificate, "no certificate with this thumbprint can sign in your personal store\n(korvane-data signing-certificate list shows those that can)",
     "你的个人存储中没有这个指纹的可签名证书\n（korvane-data signing-certificate list 会显示可签名的证书）"},
    {Msg::kCannotWriteSetting, "cannot write the setting (error {0})",
     "无法写入设置（错误 {0}）"},
    {Msg::kCannotRemoveSetting, "cannot remove the setting (error {0})",
     "无法删除设置（错误 {0}）"},
    {Msg::kSigningNeedsCommand, "signing-certificate needs a command",
     "signing-certificate 需要一个命令"},
    {Msg::kNoSigningCommand, "no signing-certificate command {0}",
     "没有 signing-certificate 命令 {0}"},
    {Msg::kWrongSigningArguments, "wrong arguments for signing-certificate {0}",
     "signing-certificate {0} 的参数有误"},
};
// clang-format on

const std::size_t kMessageTableSize = std::size(kMessageTable);
static_assert(std::size(kMessageTable) == static_cast<std::size_t>(Msg::kCount),
              "every message has its line in the table");

std::string FormatText(Msg id, std::initializer_list<std::string_view> arguments) {
  const MessageText& entry = kMessageTable[static_cast<std::size_t>(id)];
  return FillIn(InCurrentLanguage(entry), arguments);
}

}  // namespace korvane::tool
