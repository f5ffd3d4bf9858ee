// The site database: creation, seed members and member rows.
#include "proxy/web/KvWebDB.h"

#include <cstdio>

#include "base/app/KvBaseApp.h"
#include "ext/KvMd5/KvMd5.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "inet/web/KvSession.h"

namespace {

// The engine's tables of every site database.
const char* const kCreateTables[] = {
    "create table syssessions(sess_id char(32) not null,ip_addr char(20) not null,first_used integer not "
    "null,last_used integer not null,user_id integer not null default 0,sess_data text,primary key (sess_id));",
    "create table sysmember(m_id integer not null,m_level integer not null default 1,m_ccode int(3) not null "
    "default 0,m_name varchar(32) not null,m_fullname varchar(255),m_password varchar(32) not null,m_email "
    "varchar(60),m_homepage varchar(255),m_startpage varchar(255) default '/index.html',m_view_email int(3) not "
    "null default 1,m_view_profile int(3) not null default 1,m_theme varchar(32) not null default "
    "'VuvUrad',m_photo int(3) not null default 0,m_desc text,m_page text,m_visit int(3) not null default "
    "0,m_hits int(3) not null default 0,max_item_perpage int(3) not null default 10,upload_by varchar(20) not "
    "null default 'admin',upload_on datetime not null default '1980-00-01 00:00:00',update_on datetime not null "
    "default '1980-00-01 00:00:00',primary key (m_id),unique (m_name),unique(m_email));",
    "create table advtext(adv_key char(32) not null,adv_title varchar(255),adv_text text,adv_active int(3) not "
    "null default 1,adv_hits int(3) default 0,upload_by varchar(20) not null default 'admin',upload_on datetime "
    "not null default '1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary "
    "key (adv_key));",
    "create table advrnd(adv_id integer not null,adv_key char(32) not null,adv_title varchar(255),adv_text "
    "text,adv_active int(3) not null default 1,adv_hits int(3) default 0,upload_by varchar(20) not null default "
    "'admin',upload_on datetime not null default '1980-00-01 00:00:00',update_on datetime not null default "
    "'1980-00-01 00:00:00',primary key (adv_id));",
    "create table feedback(fb_id integer not null,fb_fullname varchar(255),fb_email varchar(60),fb_content "
    "text,fb_ushow int(3) default 0,fb_utestimonial int(3) default 0,fb_show int(3) default 0,fb_testimonial "
    "int(3) default 0,upload_by varchar(20) not null default 'admin',upload_on datetime not null default "
    "'1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key (fb_id));",
    "create table news(news_id integer not null,news_title varchar(255),news_desc text,news_content "
    "text,news_show int(3) default 1,upload_by varchar(20) not null default 'admin',upload_on datetime not null "
    "default '1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key "
    "(news_id));",
    "create table comment(comm_id integer not null,folder_id int(3) not null,comm_content text,comm_show int(3) "
    "default 1,m_id integer not null,upload_by varchar(20) not null default 'admin',upload_on datetime not null "
    "default '1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key "
    "(comm_id));",
    "create table macrotext(mac_key char(32) not null,mac_title varchar(255),mac_content text,mac_active int(3) "
    "not null default 1,upload_by varchar(20) not null default 'admin',upload_on datetime not null default "
    "'1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key (mac_key));",
    "create table service(svc_id int(3) not null,svc_name varchar(255),svc_desc text,svc_default int(3) not null "
    "default 0,svc_level int(3) not null default 1,svc_order int(3) not null default 9999,svc_active int(3) not "
    "null default 1,upload_by varchar(20) not null default 'admin',upload_on datetime not null default "
    "'1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key (svc_id));",
    "create table svcmember(svc_id int(3) not null,m_id int(3) not null,update_on datetime not null default "
    "'1980-00-01 00:00:00',primary key (svc_id, m_id));",
    "create table simplefile(file_type char(32) not null,file_path varchar(255) not null,file_mime char(32) not "
    "null default 'text/html',file_content text, modified_on datetime default '1980-00-01 00:00:00',primary key "
    "(file_type, file_path));",
};

const char kGuestPassword[] = "kqz417";
const char kAdminName[] = "admin";

// Twelve characters from an alphabet without look-alikes; empty when the
// random source fails (a weaker source is never used).
CString NewAdminPassword() {
    static const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";  // 32 characters
    unsigned char bytes[12];
    if (!KvSecureRandom(bytes, sizeof bytes)) return CString();
    CString password;
    for (unsigned char b : bytes) password += kAlphabet[b & 31];
    return password;
}

// An empty e-mail is stored as NULL: the column is unique, and many
// members leave it empty.
const char* EmailOrNull(const CString& email) { return email.IsEmpty() ? nullptr : email.c_str(); }

const char kUserColumns[] =
    "select m_id, m_level, m_ccode, m_name, m_fullname, m_password, m_email, m_homepage, m_startpage, "
    "m_view_email, m_view_profile, m_theme, m_photo, m_desc, m_page, m_visit, m_hits, max_item_perpage from "
    "sysmember where ";

}  // namespace

int KvWebDB::OpenSite(const char* path) {
    if (!Open(path)) return 0;
    if (IsTableExist("sysmember")) return 1;
    CString password;
    {
        KvSqlTransaction tx(*this);
        if (!tx.IsActive() || !InitNewDatabase() || !tx.Commit()) {
            m_strInitialPassword.Empty();
            Close();
            return 0;
        }
    }
    // Shown once: the digest is all the file keeps.
    std::printf("New site database %s: sign in as \"%s\" with the password \"%s\"\n", GetPath().c_str(), kAdminName,
                m_strInitialPassword.c_str());
    std::fflush(stdout);
    if (KvBaseApp* app = KvGetApp()) {
        app->LogMessage("New site database %s: sign in as \"%s\" with the password \"%s\"", GetPath().c_str(),
                        kAdminName, m_strInitialPassword.c_str());
    }
    return 1;
}

int KvWebDB::InitNewDatabase() {
    if (!IsOpen() || !KvSqlDBEx::InitNewDatabase()) return 0;
    return CreateTables() && SeedMembers();
}

int KvWebDB::CreateTables() {
    for (const char* sql : kCreateTables) {
        if (Execute(sql) < 0) return 0;
    }
    return 1;
}

int KvWebDB::SeedMembers() {
    CString password = NewAdminPassword();
    if (password.IsEmpty()) return 0;
    KvSqlBuffer sql;
    // Without both members nobody could log in: the seeding fails.
    if (Execute(sql.Format("insert into sysmember (m_id, m_level, m_name, m_fullname, m_password) values (0, 0, "
                           "'guest', 'Guest', '%q'); ",
                           MD5String(kGuestPassword).c_str())) < 0 ||
        Execute(sql.Format("insert into sysmember (m_id, m_level, m_name, m_fullname, m_password) values (1, 9, '%q', "
                           "'Administrator', '%q'); ",
                           kAdminName, MD5String(password).c_str())) < 0) {
        return 0;
    }
    // Later members are numbered after the two seeded ones.
    if (!InitId("sysmember", 1)) return 0;
    m_strInitialPassword = password;
    return 1;
}

void KvWebDB::ReadUserData(KvSqlQuery& q, KvUserInfo* user) {
    user->m_nID = q.GetIntField(0);
    user->m_nLevel = q.GetIntField(1);
    user->m_nCountryCode = q.GetIntField(2);
    user->m_strName = q.GetStringField(3);
    user->m_strFullName = q.GetStringField(4);
    user->m_strPassword = q.GetStringField(5);
    user->m_strEmail = q.GetStringField(6);
    user->m_strHomePage = q.GetStringField(7);
    user->m_strStartPage = q.GetStringField(8);
    user->m_bViewEmail = q.GetIntField(9);
    user->m_bViewProfile = q.GetIntField(10);
    user->m_strTheme = q.GetStringField(11);
    user->m_bPhoto = q.GetIntField(12);
    user->m_strDesc = q.GetStringField(13);
    user->m_strPage = q.GetStringField(14);
    user->m_nVisit = q.GetIntField(15);
    user->m_nHits = q.GetIntField(16);
    user->m_nMaxItemPerPage = q.GetIntField(17);
}

int KvWebDB::QueryUser(const char* sql, KvUserInfo* user) {
    KvSqlQuery q = ExecQuery(sql);
    if (!q.IsValid() || q.IsEOF()) return 0;
    ReadUserData(q, user);
    return 1;
}

int KvWebDB::GetUserInfo(int id, KvUserInfo* user) {
    if (!IsOpen() || !user) return 0;
    KvSqlBuffer sql;
    return QueryUser(sql.Format("%sm_id=%d", kUserColumns, id), user);
}

int KvWebDB::GetUserInfo(const char* name, KvUserInfo* user) {
    if (!IsOpen() || !user) return 0;
    KvSqlBuffer sql;
    return QueryUser(sql.Format("%sm_name='%q'", kUserColumns, name), user);
}

CString KvWebDB::GetUserPassword(int id) {
    if (!IsOpen()) return CString();
    KvSqlBuffer sql;
    KvSqlQuery q = ExecQuery(sql.Format("select m_password from sysmember where m_id=%d", id));
    return q.IsValid() && !q.IsEOF() ? q.GetStringField(0) : CString();
}

int KvWebDB::AddUser(KvUserInfo* user) {
    if (!IsOpen() || !user) return 0;
    // A file made before its counter was set would hand out the ids of
    // existing members: move the counter past the highest one first.
    int highest = ExecScalar("select max(m_id) from sysmember", 0);
    if (GetId("sysmember") < highest && !SetId("sysmember", highest)) return 0;
    int id = GetNewId("sysmember");
    if (id <= 0) return 0;
    user->m_nID = id;
    user->m_timeRegistered = KvTime::GetCurTime();
    KvSqlBuffer sql;
    sql.Format(
        "insert into sysmember (m_id, m_level, m_ccode, m_name, m_fullname, m_password, m_email, m_homepage, "
        "m_startpage, m_view_email, m_view_profile, m_theme, m_photo, m_desc, m_page, m_visit, m_hits, "
        "max_item_perpage) values(%d, %d, %d, '%q', '%q', '%q', %Q, '%q', '%q', %d, %d, '%q', %d, '%q', '%q', %d, "
        "%d, %d);",
        user->m_nID, user->m_nLevel, user->m_nCountryCode, user->m_strName.c_str(), user->m_strFullName.c_str(),
        user->m_strPassword.c_str(), EmailOrNull(user->m_strEmail), user->m_strHomePage.c_str(),
        user->m_strStartPage.c_str(), user->m_bViewEmail, user->m_bViewProfile, user->m_strTheme.c_str(),
        user->m_bPhoto, user->m_strDesc.c_str(), user->m_strPage.c_str(), user->m_nVisit, user->m_nHits,
        user->m_nMaxItemPerPage);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::SetUserPassword(int id, const char* password) {
    if (!IsOpen() || !password) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("update sysmember set m_password='%q' where m_id=%d;", MD5String(password).c_str(),
                              id)) < 0
               ? 0
               : 1;
}

int KvWebDB::UpdateUser(KvUserInfo* user) {
    if (!IsOpen() || !user) return 0;
    KvSqlBuffer sql;
    sql.Format(
        "update sysmember set m_level=%d, m_ccode=%d, m_name='%q', m_fullname='%q', m_password='%q', m_email=%Q, "
        "m_homepage='%q', m_startpage='%q', m_view_email=%d, m_view_profile=%d, m_theme='%q', m_photo=%d, "
        "m_desc='%q', m_page='%q', m_visit=%d, m_hits=%d, max_item_perpage=%d where m_id=%d;",
        user->m_nLevel, user->m_nCountryCode, user->m_strName.c_str(), user->m_strFullName.c_str(),
        user->m_strPassword.c_str(), EmailOrNull(user->m_strEmail), user->m_strHomePage.c_str(),
        user->m_strStartPage.c_str(), user->m_bViewEmail, user->m_bViewProfile, user->m_strTheme.c_str(),
        user->m_bPhoto, user->m_strDesc.c_str(), user->m_strPage.c_str(), user->m_nVisit, user->m_nHits,
        user->m_nMaxItemPerPage, user->m_nID);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::UpdatePhotoStatus(int id, int flag) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("update sysmember set m_photo=%d where m_id=%d;", flag, id)) < 0 ? 0 : 1;
}

int KvWebDB::IncMemberVisit(int id) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("update sysmember set m_visit=m_visit+1 where m_id=%d;", id)) < 0 ? 0 : 1;
}

int KvWebDB::IncMemberHits(int id) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("update sysmember set m_hits=m_hits+1 where m_id=%d;", id)) < 0 ? 0 : 1;
}
