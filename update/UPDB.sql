-- Structure of the local database of the operator client.
--
-- The program never alters a database in place: an update creates a new database, runs part 1
-- of this script (the tables), copies the data of every table from the database in use, and
-- then runs part 2 (keys, indexes, generators, triggers, views, functions, procedures, the
-- shipped catalogue rows and the structure version). Part 1 therefore declares tables and
-- columns only; nothing in it may depend on data.
--
-- Text is WIN1251 (the database's default character set). Times are local time-stamps.

-- Structure version; the program works with 3 or higher (3 added the fuel drains).
CREATE TABLE SYS (
    LAST_VERSION INTEGER NOT NULL
);

-- Object registry and the latest known state of every object.
CREATE TABLE OBJECTS (
    OBJ_NUMBER            INTEGER NOT NULL,
    OBJ_NAME              VARCHAR(250),
    OBJ_SHORTNAME         VARCHAR(50),
    OBJ_DESC              VARCHAR(2000),
    OBJ_TANKVOLUME        NUMERIC(15, 2) DEFAULT 0,
    OBJ_FUELCONSW         NUMERIC(15, 2) DEFAULT 0,
    OBJ_FUELCONSS         NUMERIC(15, 2) DEFAULT 0,
    OBJ_TIMEZONE          INTEGER DEFAULT 0,
    OBJ_USEENGINEFORPARK  INTEGER DEFAULT 0,
    OBJ_FUELDEPTYPE       INTEGER DEFAULT 1,
    OBJ_FUELSENSORDELTA   INTEGER DEFAULT 100,
    OBJ_FUELUSETANKSENSOR INTEGER DEFAULT 0,
    OBJ_FUELUSEENGINE     INTEGER DEFAULT 1,
    OBJ_PACKTIME          TIMESTAMP,
    OBJ_FUELLEVEL         INTEGER,
    OBJ_FUELLEVELL        DOUBLE PRECISION,
    OBJ_BOARDVOLTAGE      INTEGER,
    OBJ_TEMPERATURE       DOUBLE PRECISION,
    OBJ_LOCOMOTIVEMOVE    INTEGER,
    OBJ_WARNINGMODE       INTEGER,
    OBJ_ERRORAVTOPROTECT  INTEGER,
    OBJ_DIESELWORK        INTEGER,
    OBJ_ABVOLTAGELESSMIN  INTEGER,
    OBJ_ALERTBTN          INTEGER,
    OBJ_VERSION           INTEGER,
    OBJ_LAT               DOUBLE PRECISION,
    OBJ_LNG               DOUBLE PRECISION,
    OBJ_TEXT_LAT          DOUBLE PRECISION,
    OBJ_TEXT_LNG          DOUBLE PRECISION,
    OBJ_TS                TIMESTAMP
);

-- Tree of object groups; GRP_ID is a GUID text with braces.
CREATE TABLE GROUPS (
    GRP_ID       VARCHAR(38) NOT NULL,
    GRP_MASTERID VARCHAR(38),
    GRP_NAME     VARCHAR(250)
);

-- Membership of objects in groups (an object may stand in several groups).
CREATE TABLE OBJ_GRP (
    OG_OBJID INTEGER NOT NULL,
    OG_GRPID VARCHAR(38) NOT NULL
);

-- Time series of object states, one row per packet.
CREATE TABLE INPUTSIGNALS (
    INS_NUMBER           INTEGER NOT NULL,
    INS_PCTIME           TIMESTAMP,
    INS_PACKTIME         TIMESTAMP NOT NULL,
    INS_FUELLEVEL        INTEGER,
    INS_BOARDVOLTAGE     INTEGER,
    INS_TEMPERATURE      DOUBLE PRECISION,
    INS_LOCOMOTIVEMOVE   INTEGER,
    INS_WARNINGMODE      INTEGER,
    INS_ERRORAVTOPROTECT INTEGER,
    INS_DIESELWORK       INTEGER,
    INS_ABVOLTAGELESSMIN INTEGER,
    INS_ALERTBTN         INTEGER
);

-- Stored positions of objects (minutes of arc).
CREATE TABLE COORDINATS (
    ID           INTEGER NOT NULL,
    TS_PACKET    TIMESTAMP NOT NULL,
    GC_LATITUDE  DOUBLE PRECISION,
    GC_LONGITUDE DOUBLE PRECISION
);

-- Named groups of state parameters.
CREATE TABLE PARAMGROUPS (
    PGRP_INDEX  INTEGER NOT NULL,
    PGRP_NAME   VARCHAR(500) NOT NULL,
    PGRP_SEQ    INTEGER,
    PGRP_ISSHOW INTEGER DEFAULT 1
);

-- Catalogue of state parameters.
CREATE TABLE PARAMS (
    PRM_NAME                VARCHAR(500) NOT NULL,
    PRM_INDEX               INTEGER DEFAULT 0,
    PRM_GRPINDEX            INTEGER,
    PRM_CAPTION             VARCHAR(500),
    PRM_INPSTBLNAME         VARCHAR(50) DEFAULT '0',
    PRM_USEINDATAQUERY      INTEGER DEFAULT 0,
    PRM_USEINPSINDEX        INTEGER DEFAULT 0,
    PRM_VISIBLEINSOSTGRID   INTEGER DEFAULT 2,
    PRM_USEINCALCQUERY      INTEGER DEFAULT 0,
    PRM_USEINSOSTQUERY      INTEGER DEFAULT 0,
    PRM_USESOSTINDEX        INTEGER DEFAULT 0,
    PRM_SOST_GRID_COL_WIDTH INTEGER DEFAULT 64,
    PRM_COLROWPOSITION      INTEGER DEFAULT 0,
    PRM_USEINPROGRAM        INTEGER DEFAULT 1,
    PRM_DESCRIPTION         VARCHAR(1000),
    PRM_VISIBLEINSUMMARY    INTEGER DEFAULT 0,
    PRM_USEINSOSTGRID       INTEGER DEFAULT 0
);

-- Catalogue of computed (report) parameters: one row per result column of PROC_CALCPARAMS.
CREATE TABLE CALCPARAMS (
    PR_NAME      VARCHAR(50) NOT NULL,
    PR_CAPTION   VARCHAR(250),
    PR_INDEX     INTEGER DEFAULT 0,
    PR_DISP      INTEGER DEFAULT 0,
    PR_DISPNAME  VARCHAR(250),
    PR_SETINDEX  INTEGER DEFAULT 0,
    PR_SETDISP   INTEGER DEFAULT 0,
    PR_FIELDTYPE VARCHAR(20),
    PR_ENABLE    INTEGER DEFAULT 1
);

-- Fuel calibration tables: litres for a sensor reading, per object.
CREATE TABLE FUEL_POINTS (
    ID         INTEGER NOT NULL,
    SENSOR_VAL INTEGER NOT NULL,
    FUEL_VAL   DOUBLE PRECISION NOT NULL,
    FIXED      SMALLINT DEFAULT 1 NOT NULL
);

-- Refuellings: tank opened .. closed, with the readings at both ends and, when the operator
-- knows it, the volume actually filled.
CREATE TABLE FUEL_CHARGE (
    ID                   INTEGER NOT NULL,
    OPEN_TANK_TS_PACKET  TIMESTAMP NOT NULL,
    OPEN_TANK_SENSOR     INTEGER NOT NULL,
    CLOSE_TANK_TS_PACKET TIMESTAMP,
    CLOSE_TANK_SENSOR    INTEGER,
    CHARGED_VOLUME       DOUBLE PRECISION
);

-- An object's own fuel-drain rule; a NULL value takes the general default of the settings.
CREATE TABLE DRAIN_RULES (
    DR_OBJECT INTEGER NOT NULL,
    DR_LITRES DOUBLE PRECISION,
    DR_WINDOW INTEGER,
    DR_MEDIAN INTEGER
);

-- Fuel drains: fuel that left the tank of a standing object. An alert raised on line (kind 0)
-- grows while the drain goes on and gets its end when it stops; drains found afterwards in
-- the stored readings are kind 1. Levels in litres, the position in minutes of arc, the
-- confirmation by whom and when.
CREATE TABLE DRAIN_ALERTS (
    DRN_ID           INTEGER NOT NULL,
    DRN_OBJECT       INTEGER NOT NULL,
    DRN_KIND         SMALLINT DEFAULT 0 NOT NULL,
    DRN_BEGIN        TIMESTAMP NOT NULL,
    DRN_END          TIMESTAMP,
    DRN_LEVEL_BEFORE DOUBLE PRECISION,
    DRN_LEVEL_AFTER  DOUBLE PRECISION,
    DRN_RAISED       TIMESTAMP,
    DRN_LAT          DOUBLE PRECISION,
    DRN_LNG          DOUBLE PRECISION,
    DRN_CONFIRMED_BY VARCHAR(100),
    DRN_CONFIRMED_AT TIMESTAMP
);

/*
-- insert data here
-- The data of every table above is copied from the database in use at this point.
-- SYS is written by part 2; the history tables are left behind on request.
-- ignoretable SYS
-- skiptable INPUTSIGNALS
-- skiptable COORDINATS
-- insert end
*/

-- ============================================================================================
-- Part 2: runs after the data copy.
-- ============================================================================================

ALTER TABLE OBJECTS ADD CONSTRAINT PK_OBJECTS PRIMARY KEY (OBJ_NUMBER);
ALTER TABLE GROUPS ADD CONSTRAINT PK_GROUPS PRIMARY KEY (GRP_ID);
ALTER TABLE OBJ_GRP ADD CONSTRAINT PK_OBJ_GRP PRIMARY KEY (OG_OBJID, OG_GRPID);
CREATE INDEX IX_OBJ_GRP_GRPID ON OBJ_GRP (OG_GRPID);
ALTER TABLE INPUTSIGNALS ADD CONSTRAINT PK_INPUTSIGNALS PRIMARY KEY (INS_NUMBER, INS_PACKTIME);
-- The procedures look back from a moment ("the last reading before ..."), hence a descending index.
CREATE DESCENDING INDEX IX_INPUTSIGNALS_DESC ON INPUTSIGNALS (INS_NUMBER, INS_PACKTIME);
CREATE INDEX IX_COORDINATS ON COORDINATS (ID, TS_PACKET);
ALTER TABLE PARAMGROUPS ADD CONSTRAINT PK_PARAMGROUPS PRIMARY KEY (PGRP_INDEX);
ALTER TABLE PARAMS ADD CONSTRAINT PK_PARAMS PRIMARY KEY (PRM_NAME);
ALTER TABLE CALCPARAMS ADD CONSTRAINT PK_CALCPARAMS PRIMARY KEY (PR_NAME);
ALTER TABLE FUEL_POINTS ADD CONSTRAINT PK_FUEL_POINTS PRIMARY KEY (ID, SENSOR_VAL);
CREATE DESCENDING INDEX IX_FUEL_POINTS_DESC ON FUEL_POINTS (ID, SENSOR_VAL);
ALTER TABLE FUEL_CHARGE ADD CONSTRAINT PK_FUEL_CHARGE
    PRIMARY KEY (ID, OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR);
ALTER TABLE DRAIN_RULES ADD CONSTRAINT PK_DRAIN_RULES PRIMARY KEY (DR_OBJECT);
ALTER TABLE DRAIN_ALERTS ADD CONSTRAINT PK_DRAIN_ALERTS PRIMARY KEY (DRN_ID);
-- Workstations that see the same packets find the same drain: it is stored once.
CREATE UNIQUE INDEX UX_DRAIN_ALERTS ON DRAIN_ALERTS (DRN_OBJECT, DRN_BEGIN);
CREATE INDEX IX_DRAIN_ALERTS_BEGIN ON DRAIN_ALERTS (DRN_BEGIN);

CREATE GENERATOR GEN_PARAMGROUPS;
CREATE GENERATOR GEN_PGRPSEQ;
CREATE GENERATOR GEN_DRAIN_ALERTS;

-- Read-only look-up of the shown flags of PARAMS and PARAMGROUPS.
CREATE VIEW VISIBLE_IN_SOST_GRID_VALUES ("INDEX", VAL) AS
    SELECT 1, CAST('ДА' AS VARCHAR(4)) FROM RDB$DATABASE
    UNION ALL
    SELECT 2, CAST('НЕТ' AS VARCHAR(4)) FROM RDB$DATABASE;

SET TERM ^ ;

-- The generators continue after the copied groups.
EXECUTE BLOCK AS
DECLARE VARIABLE N INTEGER;
BEGIN
    SELECT COALESCE(MAX(PGRP_INDEX), 0) FROM PARAMGROUPS INTO :N;
    EXECUTE STATEMENT 'SET GENERATOR GEN_PARAMGROUPS TO ' || :N;
    SELECT COALESCE(MAX(PGRP_SEQ), 0) FROM PARAMGROUPS INTO :N;
    EXECUTE STATEMENT 'SET GENERATOR GEN_PGRPSEQ TO ' || :N;
    SELECT COALESCE(MAX(DRN_ID), 0) FROM DRAIN_ALERTS INTO :N;
    EXECUTE STATEMENT 'SET GENERATOR GEN_DRAIN_ALERTS TO ' || :N;
END^

-- A drain stored without an identity gets the next one.
CREATE TRIGGER DRAIN_ALERTS_BI FOR DRAIN_ALERTS ACTIVE BEFORE INSERT POSITION 0 AS
BEGIN
    IF (NEW.DRN_ID IS NULL) THEN
        NEW.DRN_ID = GEN_ID(GEN_DRAIN_ALERTS, 1);
END^

-- A parameter group inserted without identity or order gets the next of each; the settings
-- import switches this trigger off while it restores groups with their own numbers.
CREATE TRIGGER PARAMGROUPS_BI FOR PARAMGROUPS ACTIVE BEFORE INSERT POSITION 0 AS
BEGIN
    IF (NEW.PGRP_INDEX IS NULL) THEN
        NEW.PGRP_INDEX = GEN_ID(GEN_PARAMGROUPS, 1);
    IF (NEW.PGRP_SEQ IS NULL) THEN
        NEW.PGRP_SEQ = GEN_ID(GEN_PGRPSEQ, 1);
    IF (NEW.PGRP_ISSHOW IS NULL) THEN
        NEW.PGRP_ISSHOW = 1;
END^

-- ADDMINUTE(ts, minutes): the time-stamp moved by whole minutes (negative moves back).
CREATE FUNCTION ADDMINUTE (TS TIMESTAMP, MINUTES INTEGER) RETURNS TIMESTAMP AS
BEGIN
    RETURN DATEADD(MINUTE, :MINUTES, :TS);
END^

-- A duration in seconds as the D-H-M-S text the reports read ("1-2-3-4" is 1 day 2 h 3 min
-- 4 s). Fractions of a second are rounded; negative or NULL durations give "0-0-0-0".
CREATE FUNCTION SECONDS_TO_DHMS (SECS DOUBLE PRECISION) RETURNS VARCHAR(40) AS
DECLARE VARIABLE S BIGINT;
BEGIN
    S = ROUND(COALESCE(SECS, 0));
    IF (S < 0) THEN
        S = 0;
    RETURN (S / 86400) || '-' || (MOD(S, 86400) / 3600) || '-' || (MOD(S, 3600) / 60) || '-' ||
           MOD(S, 60);
END^

-- PROC_GETFUEL(object, reading) -> OUT_FUEL_LEVEL, litres; always exactly one row.
-- Piecewise-linear interpolation between the object's two calibration points nearest below and
-- above the reading (FUEL_POINTS ordered by SENSOR_VAL; the table may rise or fall with the
-- reading). Outside the table the volume of the nearest end point is returned (no
-- extrapolation: a reading beyond the calibrated range means an empty or full tank). No points,
-- or a NULL reading, gives 0.
CREATE PROCEDURE PROC_GETFUEL (OBJ_ID INTEGER, SENSOR INTEGER)
RETURNS (OUT_FUEL_LEVEL DOUBLE PRECISION) AS
DECLARE VARIABLE S0 INTEGER;
DECLARE VARIABLE F0 DOUBLE PRECISION;
DECLARE VARIABLE S1 INTEGER;
DECLARE VARIABLE F1 DOUBLE PRECISION;
BEGIN
    OUT_FUEL_LEVEL = 0;
    IF (SENSOR IS NOT NULL) THEN
    BEGIN
        S0 = NULL;
        S1 = NULL;
        SELECT FIRST 1 SENSOR_VAL, FUEL_VAL FROM FUEL_POINTS
            WHERE ID = :OBJ_ID AND SENSOR_VAL <= :SENSOR ORDER BY ID DESC, SENSOR_VAL DESC
            INTO :S0, :F0;
        SELECT FIRST 1 SENSOR_VAL, FUEL_VAL FROM FUEL_POINTS
            WHERE ID = :OBJ_ID AND SENSOR_VAL >= :SENSOR ORDER BY ID, SENSOR_VAL
            INTO :S1, :F1;
        IF (S0 IS NULL AND S1 IS NOT NULL) THEN
            OUT_FUEL_LEVEL = F1;
        ELSE IF (S0 IS NOT NULL AND S1 IS NULL) THEN
            OUT_FUEL_LEVEL = F0;
        ELSE IF (S0 IS NOT NULL AND S1 IS NOT NULL) THEN
        BEGIN
            IF (S1 = S0) THEN
                OUT_FUEL_LEVEL = F0;
            ELSE
                OUT_FUEL_LEVEL = F0 + (F1 - F0) * CAST(SENSOR - S0 AS DOUBLE PRECISION) / (S1 - S0);
        END
    END
    SUSPEND;
END^

-- PROC_GETFUELBYDT(object, moment) -> OUT_FUEL_LEVEL, OUT_SENSOR, OUT_TS_PACKET.
-- The reading in force at the moment: the object's last positive fuel reading at or before it.
-- When the history starts after the moment, its first reading is used instead (so a period that
-- begins before the data still has a start level). No positive reading at all: no row.
-- Readings of 0 or less mean "no sensor data" and are skipped.
CREATE PROCEDURE PROC_GETFUELBYDT (OBJ_ID INTEGER, DT TIMESTAMP)
RETURNS (OUT_FUEL_LEVEL DOUBLE PRECISION, OUT_SENSOR INTEGER, OUT_TS_PACKET TIMESTAMP) AS
BEGIN
    OUT_TS_PACKET = NULL;
    SELECT FIRST 1 INS_PACKTIME, INS_FUELLEVEL FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME <= :DT AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER DESC, INS_PACKTIME DESC
        INTO :OUT_TS_PACKET, :OUT_SENSOR;
    IF (OUT_TS_PACKET IS NULL) THEN
        SELECT FIRST 1 INS_PACKTIME, INS_FUELLEVEL FROM INPUTSIGNALS
            WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME > :DT AND INS_FUELLEVEL > 0
            ORDER BY INS_NUMBER, INS_PACKTIME
            INTO :OUT_TS_PACKET, :OUT_SENSOR;
    IF (OUT_TS_PACKET IS NULL) THEN
        EXIT;
    SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(:OBJ_ID, :OUT_SENSOR) INTO :OUT_FUEL_LEVEL;
    SUSPEND;
END^

-- PROC_FUEL_3PFILTER(dlt, dt1, dt2, object) -> OUT_PACKTIME, OUT_FUEL_L (sensor units).
-- Three-point spike filter over the object's positive fuel readings, in time order: a reading
-- that lies more than dlt above both neighbours, or more than dlt below both, is a spike
-- (sloshing, a contact bounce) and is replaced by the median of the three, that is by the
-- nearer neighbour. The readings just before dt1 and just after dt2 serve as neighbours of the
-- first and the last reading of the period, so a spike at its edge is caught as well; only
-- readings in [dt1, dt2] are returned. The first and the last reading of the whole history
-- pass unchanged. Steps (refuelling, drain) survive, because after a step the next reading
-- agrees with it.
CREATE PROCEDURE PROC_FUEL_3PFILTER (DLT INTEGER, DT1 TIMESTAMP, DT2 TIMESTAMP, OBJ_ID INTEGER)
RETURNS (OUT_PACKTIME TIMESTAMP, OUT_FUEL_L INTEGER) AS
DECLARE VARIABLE T TIMESTAMP;
DECLARE VARIABLE V INTEGER;
DECLARE VARIABLE PREV_V INTEGER;
DECLARE VARIABLE CUR_T TIMESTAMP;
DECLARE VARIABLE CUR_V INTEGER;
DECLARE VARIABLE N INTEGER;
DECLARE VARIABLE LO TIMESTAMP;
DECLARE VARIABLE HI TIMESTAMP;
BEGIN
    N = 0;
    DLT = COALESCE(DLT, 0);
    LO = NULL;
    HI = NULL;
    SELECT FIRST 1 INS_PACKTIME FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME < :DT1 AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER DESC, INS_PACKTIME DESC INTO :LO;
    SELECT FIRST 1 INS_PACKTIME FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME > :DT2 AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER, INS_PACKTIME INTO :HI;
    LO = COALESCE(LO, DT1);
    HI = COALESCE(HI, DT2);
    FOR SELECT INS_PACKTIME, INS_FUELLEVEL FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME >= :LO AND INS_PACKTIME <= :HI
          AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER, INS_PACKTIME
        INTO :T, :V
    DO
    BEGIN
        N = N + 1;
        IF (N >= 2) THEN
        BEGIN
            -- CUR is judged now that its successor V is known
            OUT_PACKTIME = CUR_T;
            OUT_FUEL_L = CUR_V;
            IF (N > 2) THEN
            BEGIN
                IF (CUR_V - PREV_V > DLT AND CUR_V - V > DLT) THEN
                    OUT_FUEL_L = MAXVALUE(PREV_V, V);
                ELSE IF (PREV_V - CUR_V > DLT AND V - CUR_V > DLT) THEN
                    OUT_FUEL_L = MINVALUE(PREV_V, V);
            END
            IF (CUR_T >= DT1 AND CUR_T <= DT2) THEN
                SUSPEND;
        END
        PREV_V = CUR_V;
        CUR_T = T;
        CUR_V = V;
    END
    IF (N > 0 AND CUR_T >= DT1 AND CUR_T <= DT2) THEN
    BEGIN
        OUT_PACKTIME = CUR_T;
        OUT_FUEL_L = CUR_V;
        SUSPEND;
    END
END^

-- PROC_FUEL_FILTERED(dlt, dt1, dt2, object) -> OUT_PACKTIME, OUT_FUEL_L (sensor units).
-- The spike-filtered series (PROC_FUEL_3PFILTER) smoothed by a trailing mean of up to five
-- readings. A reading more than dlt away from the current mean is a level step (refuelling or
-- drain): the mean restarts from it, so steps stay sharp instead of being smeared over five
-- readings. Values are rounded to whole sensor units.
CREATE PROCEDURE PROC_FUEL_FILTERED (DLT INTEGER, DT1 TIMESTAMP, DT2 TIMESTAMP, OBJ_ID INTEGER)
RETURNS (OUT_PACKTIME TIMESTAMP, OUT_FUEL_L INTEGER) AS
DECLARE VARIABLE V INTEGER;
DECLARE VARIABLE V1 INTEGER;
DECLARE VARIABLE V2 INTEGER;
DECLARE VARIABLE V3 INTEGER;
DECLARE VARIABLE V4 INTEGER;
DECLARE VARIABLE V5 INTEGER;
DECLARE VARIABLE N INTEGER;
DECLARE VARIABLE MEAN DOUBLE PRECISION;
BEGIN
    N = 0;
    MEAN = NULL;
    DLT = COALESCE(DLT, 0);
    FOR SELECT OUT_PACKTIME, OUT_FUEL_L FROM PROC_FUEL_3PFILTER(:DLT, :DT1, :DT2, :OBJ_ID)
        INTO :OUT_PACKTIME, :V
    DO
    BEGIN
        IF (MEAN IS NOT NULL AND ABS(V - MEAN) > DLT) THEN
            N = 0;
        -- V1 is the newest of the earlier readings
        V5 = V4;
        V4 = V3;
        V3 = V2;
        V2 = V1;
        V1 = V;
        IF (N < 5) THEN
            N = N + 1;
        IF (N = 1) THEN MEAN = V1;
        ELSE IF (N = 2) THEN MEAN = (V1 + V2) / 2.0;
        ELSE IF (N = 3) THEN MEAN = (V1 + V2 + V3) / 3.0;
        ELSE IF (N = 4) THEN MEAN = (V1 + V2 + V3 + V4) / 4.0;
        ELSE MEAN = (V1 + V2 + V3 + V4 + V5) / 5.0;
        OUT_FUEL_L = ROUND(MEAN);
        SUSPEND;
    END
END^

-- PROC_CHARGEFILL2(object, start, end, threshold) -> OUT_COUNT.
-- Refuelling detection over the spike-filtered fuel series (PROC_FUEL_3PFILTER with dlt 50) of
-- the period, in time order:
--   * a rise starts at the lowest reading since the last fall (its base) and goes on while the
--     readings climb; a dip of up to a quarter of the threshold below the peak does not end it
--     (fuel settling in the tank), gaps in the data do not end it either (the device is often
--     switched off while the tank is filled);
--   * the rise ends at the first reading more than a quarter of the threshold below its peak,
--     or at the end of the period;
--   * a rise of at least the threshold (sensor units; a threshold of 0 or less takes the
--     object's OBJ_FUELSENSORDELTA, default 100) is a refuelling from the base reading
--     (tank opened) to the peak reading (tank closed);
--   * with OBJ_FUELUSEENGINE = 1 it counts only when no reading of the rise has the engine
--     signal (INS_ERRORAVTOPROTECT) on; with OBJ_FUELUSETANKSENSOR = 1 only when at least one
--     reading of the rise has the tank sensor (INS_LOCOMOTIVEMOVE) set.
-- Each refuelling found is stored in FUEL_CHARGE with CHARGED_VOLUME left NULL (that column is
-- the operator's figure) unless a stored refuelling of the object already overlaps it, so a
-- repeated detection adds nothing. OUT_COUNT is the number of refuellings found in the period,
-- stored now or earlier.
CREATE PROCEDURE PROC_CHARGEFILL2 (OBJ_ID INTEGER, DT1 TIMESTAMP, DT2 TIMESTAMP,
                                   THRESHOLD INTEGER)
RETURNS (OUT_COUNT INTEGER) AS
DECLARE VARIABLE T TIMESTAMP;
DECLARE VARIABLE V INTEGER;
DECLARE VARIABLE BASE_T TIMESTAMP;
DECLARE VARIABLE BASE_V INTEGER;
DECLARE VARIABLE PEAK_T TIMESTAMP;
DECLARE VARIABLE PEAK_V INTEGER;
DECLARE VARIABLE NOISE INTEGER;
DECLARE VARIABLE USE_ENGINE INTEGER;
DECLARE VARIABLE USE_TANK INTEGER;
DECLARE VARIABLE OK INTEGER;
DECLARE VARIABLE LAST_ROW INTEGER;
DECLARE VARIABLE RT TIMESTAMP;
DECLARE VARIABLE RV INTEGER;
DECLARE VARIABLE SENTINEL INTEGER;
DECLARE VARIABLE PREV_V INTEGER;
DECLARE VARIABLE CUR_T TIMESTAMP;
DECLARE VARIABLE CUR_V INTEGER;
DECLARE VARIABLE N INTEGER;
DECLARE VARIABLE LO TIMESTAMP;
DECLARE VARIABLE HI TIMESTAMP;
DECLARE VARIABLE HAVE INTEGER;
BEGIN
    OUT_COUNT = 0;
    USE_ENGINE = 1;
    USE_TANK = 0;
    SELECT COALESCE(OBJ_FUELUSEENGINE, 1), COALESCE(OBJ_FUELUSETANKSENSOR, 0),
           IIF(COALESCE(:THRESHOLD, 0) > 0, :THRESHOLD, COALESCE(OBJ_FUELSENSORDELTA, 100))
        FROM OBJECTS WHERE OBJ_NUMBER = :OBJ_ID
        INTO :USE_ENGINE, :USE_TANK, :THRESHOLD;
    IF (COALESCE(THRESHOLD, 0) <= 0) THEN
        THRESHOLD = 100;
    NOISE = THRESHOLD / 4;
    BASE_T = NULL;
    LAST_ROW = 0;
    -- The spike filter of PROC_FUEL_3PFILTER (dlt 50) computed in the same pass: a reading is
    -- judged when its successor is read. Two rows follow the readings: the first releases the
    -- last reading, the second closes the rise still open at the end of the period.
    N = 0;
    LO = NULL;
    HI = NULL;
    SELECT FIRST 1 INS_PACKTIME FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME < :DT1 AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER DESC, INS_PACKTIME DESC INTO :LO;
    SELECT FIRST 1 INS_PACKTIME FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME > :DT2 AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER, INS_PACKTIME INTO :HI;
    LO = COALESCE(LO, DT1);
    HI = COALESCE(HI, DT2);
    FOR SELECT * FROM (SELECT INS_PACKTIME, INS_FUELLEVEL, 0 AS SENTINEL FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME >= :LO AND INS_PACKTIME <= :HI
          AND INS_FUELLEVEL > 0
        ORDER BY INS_NUMBER, INS_PACKTIME)
        UNION ALL
        SELECT CAST(NULL AS TIMESTAMP), CAST(NULL AS INTEGER), 1 FROM RDB$DATABASE
        UNION ALL
        SELECT CAST(NULL AS TIMESTAMP), CAST(NULL AS INTEGER), 2 FROM RDB$DATABASE
        INTO :RT, :RV, :SENTINEL
    DO
    BEGIN
        HAVE = 0;
        IF (SENTINEL = 0) THEN
        BEGIN
            N = N + 1;
            IF (N >= 2) THEN
            BEGIN
                T = CUR_T;
                V = CUR_V;
                IF (N > 2) THEN
                BEGIN
                    IF (CUR_V - PREV_V > 50 AND CUR_V - RV > 50) THEN
                        V = MAXVALUE(PREV_V, RV);
                    ELSE IF (PREV_V - CUR_V > 50 AND RV - CUR_V > 50) THEN
                        V = MINVALUE(PREV_V, RV);
                END
                IF (CUR_T >= DT1 AND CUR_T <= DT2) THEN
                    HAVE = 1;
            END
            PREV_V = CUR_V;
            CUR_T = RT;
            CUR_V = RV;
        END
        ELSE IF (SENTINEL = 1 AND N > 0 AND CUR_T >= DT1 AND CUR_T <= DT2) THEN
        BEGIN
            T = CUR_T;
            V = CUR_V;
            HAVE = 1;
        END
        LAST_ROW = IIF(SENTINEL = 2, 1, 0);
        IF (HAVE = 1 OR LAST_ROW = 1) THEN
        BEGIN
            IF (LAST_ROW = 0 AND BASE_T IS NULL) THEN
            BEGIN
                BASE_T = T; BASE_V = V; PEAK_T = T; PEAK_V = V;
            END
            ELSE IF (LAST_ROW = 0 AND V >= PEAK_V) THEN
            BEGIN
                PEAK_T = T; PEAK_V = V;
            END
            ELSE IF (BASE_T IS NOT NULL AND (LAST_ROW = 1 OR V < PEAK_V - NOISE OR V < BASE_V)) THEN
            BEGIN
                IF (PEAK_V - BASE_V >= THRESHOLD) THEN
                BEGIN
                    OK = 1;
                    IF (USE_ENGINE = 1 AND EXISTS (SELECT 1 FROM INPUTSIGNALS
                            WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME BETWEEN :BASE_T AND :PEAK_T
                              AND INS_ERRORAVTOPROTECT = 1)) THEN
                        OK = 0;
                    IF (USE_TANK = 1 AND NOT EXISTS (SELECT 1 FROM INPUTSIGNALS
                            WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME BETWEEN :BASE_T AND :PEAK_T
                              AND COALESCE(INS_LOCOMOTIVEMOVE, 0) <> 0)) THEN
                        OK = 0;
                    IF (OK = 1) THEN
                    BEGIN
                        OUT_COUNT = OUT_COUNT + 1;
                        IF (NOT EXISTS (SELECT 1 FROM FUEL_CHARGE
                                WHERE ID = :OBJ_ID AND OPEN_TANK_TS_PACKET <= :PEAK_T
                                  AND COALESCE(CLOSE_TANK_TS_PACKET, OPEN_TANK_TS_PACKET) >= :BASE_T)) THEN
                            INSERT INTO FUEL_CHARGE (ID, OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR,
                                                     CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR)
                                VALUES (:OBJ_ID, :BASE_T, :BASE_V, :PEAK_T, :PEAK_V);
                    END
                END
                BASE_T = T; BASE_V = V; PEAK_T = T; PEAK_V = V;
            END
        END
    END
    SUSPEND;
END^

-- PROC_TARCALC(object) -> OUT_COUNT (points written).
-- Calibration points from the refuelling records: for each refuelling of the object with an
-- operator's volume (CHARGED_VOLUME > 0) and both readings positive, oldest first, the closing
-- reading gets the volume at the opening reading (by the current table, PROC_GETFUEL) plus the
-- volume filled. Such points are written with FIXED = 0 and never replace a point the operator
-- fixed (FIXED = 1). A table without any point cannot place the first opening level, so it
-- stays as it is: enter at least one point (the empty tank, say) first.
CREATE PROCEDURE PROC_TARCALC (OBJ_ID INTEGER)
RETURNS (OUT_COUNT INTEGER) AS
DECLARE VARIABLE OPEN_S INTEGER;
DECLARE VARIABLE CLOSE_S INTEGER;
DECLARE VARIABLE VOL DOUBLE PRECISION;
DECLARE VARIABLE BASE DOUBLE PRECISION;
BEGIN
    OUT_COUNT = 0;
    IF (EXISTS (SELECT 1 FROM FUEL_POINTS WHERE ID = :OBJ_ID)) THEN
        FOR SELECT OPEN_TANK_SENSOR, CLOSE_TANK_SENSOR, CHARGED_VOLUME FROM FUEL_CHARGE
            WHERE ID = :OBJ_ID AND CHARGED_VOLUME > 0 AND OPEN_TANK_SENSOR > 0
              AND CLOSE_TANK_SENSOR > 0 AND CLOSE_TANK_SENSOR <> OPEN_TANK_SENSOR
            ORDER BY OPEN_TANK_TS_PACKET
            INTO :OPEN_S, :CLOSE_S, :VOL
        DO
        BEGIN
            SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(:OBJ_ID, :OPEN_S) INTO :BASE;
            IF (NOT EXISTS (SELECT 1 FROM FUEL_POINTS
                    WHERE ID = :OBJ_ID AND SENSOR_VAL = :CLOSE_S AND FIXED = 1)) THEN
            BEGIN
                UPDATE OR INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED)
                    VALUES (:OBJ_ID, :CLOSE_S, :BASE + :VOL, 0) MATCHING (ID, SENSOR_VAL);
                OUT_COUNT = OUT_COUNT + 1;
            END
        END
    SUSPEND;
END^

-- PROC_TARREORG(object) -> OUT_COUNT (points removed).
-- Brings the table into its normal form: the volume must rise with the reading for a direct
-- sensor (OBJ_FUELDEPTYPE 1, the default) and fall for an inverse one (0). Points the
-- operator fixed (FIXED = 1) are always kept. Any other point is removed when its volume is
-- negative or above the tank volume (when that is set), or when, walking by reading, it does
-- not continue the required order from the last kept point (equal volumes included).
CREATE PROCEDURE PROC_TARREORG (OBJ_ID INTEGER)
RETURNS (OUT_COUNT INTEGER) AS
DECLARE VARIABLE DIRECT INTEGER;
DECLARE VARIABLE TANK DOUBLE PRECISION;
DECLARE VARIABLE S INTEGER;
DECLARE VARIABLE F DOUBLE PRECISION;
DECLARE VARIABLE FX SMALLINT;
DECLARE VARIABLE LAST_F DOUBLE PRECISION;
DECLARE VARIABLE DROP_IT INTEGER;
BEGIN
    OUT_COUNT = 0;
    DIRECT = 1;
    TANK = 0;
    SELECT IIF(COALESCE(OBJ_FUELDEPTYPE, 1) = 0, 0, 1), COALESCE(OBJ_TANKVOLUME, 0)
        FROM OBJECTS WHERE OBJ_NUMBER = :OBJ_ID INTO :DIRECT, :TANK;
    LAST_F = NULL;
    FOR SELECT SENSOR_VAL, FUEL_VAL, FIXED FROM FUEL_POINTS WHERE ID = :OBJ_ID
        ORDER BY ID, SENSOR_VAL
        INTO :S, :F, :FX
    DO
    BEGIN
        DROP_IT = 0;
        IF (FX <> 1) THEN
        BEGIN
            IF (F < 0 OR (TANK > 0 AND F > TANK)) THEN
                DROP_IT = 1;
            ELSE IF (LAST_F IS NOT NULL AND
                     ((DIRECT = 1 AND F <= LAST_F) OR (DIRECT = 0 AND F >= LAST_F))) THEN
                DROP_IT = 1;
        END
        IF (DROP_IT = 1) THEN
        BEGIN
            DELETE FROM FUEL_POINTS WHERE ID = :OBJ_ID AND SENSOR_VAL = :S;
            OUT_COUNT = OUT_COUNT + 1;
        END
        ELSE
            LAST_F = F;
    END
    SUSPEND;
END^

-- PROC_GETOBJSOSTDIF(end, start, gap, object): intervals of unchanged state, in time order.
-- The state is the set of the six on/off signals (alarm button, warning mode, protection
-- breaker / engine, diesel, locomotive movement / tank sensor, accumulator voltage). Each
-- packet in [start, end] either continues the current interval or, when a signal differs,
-- closes it at its own time and opens the next one, whose OUT_REASON names the signals that
-- changed. A pause between packets longer than gap (fraction of a day) closes the interval at
-- its last packet and produces an interval of its own with every signal NULL and the reason
-- "нет данных"; the next packet opens an interval with the reason "данные возобновлены".
-- OUT_PACKTIME, OUT_ENDTIME: the interval; OUT_DELTATIME its length as D-H-M-S text;
-- OUT_<X>: the INS_<X> values of the packet that opened the interval.
CREATE PROCEDURE PROC_GETOBJSOSTDIF (DT_END TIMESTAMP, DT_START TIMESTAMP,
                                     GAP DOUBLE PRECISION, OBJ_ID INTEGER)
RETURNS (OUT_PACKTIME TIMESTAMP, OUT_ENDTIME TIMESTAMP, OUT_DELTATIME VARCHAR(40),
         OUT_REASON VARCHAR(500), OUT_NUMBER INTEGER, OUT_PCTIME TIMESTAMP,
         OUT_FUELLEVEL INTEGER, OUT_BOARDVOLTAGE INTEGER, OUT_TEMPERATURE DOUBLE PRECISION,
         OUT_LOCOMOTIVEMOVE INTEGER, OUT_WARNINGMODE INTEGER, OUT_ERRORAVTOPROTECT INTEGER,
         OUT_DIESELWORK INTEGER, OUT_ABVOLTAGELESSMIN INTEGER, OUT_ALERTBTN INTEGER) AS
DECLARE VARIABLE T TIMESTAMP;
DECLARE VARIABLE PC TIMESTAMP;
DECLARE VARIABLE FUEL INTEGER;
DECLARE VARIABLE VOLT INTEGER;
DECLARE VARIABLE TEMP DOUBLE PRECISION;
DECLARE VARIABLE LOCO INTEGER;
DECLARE VARIABLE WARN INTEGER;
DECLARE VARIABLE ERR INTEGER;
DECLARE VARIABLE DIES INTEGER;
DECLARE VARIABLE ABV INTEGER;
DECLARE VARIABLE ALRT INTEGER;
DECLARE VARIABLE LAST_T TIMESTAMP;
DECLARE VARIABLE GAP_MS DOUBLE PRECISION;
DECLARE VARIABLE REASON VARCHAR(500);
DECLARE VARIABLE HAVE INTEGER;
BEGIN
    HAVE = 0;
    GAP_MS = COALESCE(GAP, 0) * 86400000;
    FOR SELECT INS_PACKTIME, INS_PCTIME, INS_FUELLEVEL, INS_BOARDVOLTAGE, INS_TEMPERATURE,
               INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, INS_ERRORAVTOPROTECT, INS_DIESELWORK,
               INS_ABVOLTAGELESSMIN, INS_ALERTBTN
        FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME >= :DT_START AND INS_PACKTIME <= :DT_END
        ORDER BY INS_NUMBER, INS_PACKTIME
        INTO :T, :PC, :FUEL, :VOLT, :TEMP, :LOCO, :WARN, :ERR, :DIES, :ABV, :ALRT
    DO
    BEGIN
        REASON = NULL;
        IF (HAVE = 0) THEN
            REASON = 'начало периода';
        ELSE IF (DATEDIFF(MILLISECOND FROM LAST_T TO T) > GAP_MS) THEN
        BEGIN
            OUT_ENDTIME = LAST_T;
            OUT_DELTATIME = SECONDS_TO_DHMS(DATEDIFF(MILLISECOND FROM OUT_PACKTIME TO OUT_ENDTIME) / 1000.0e0);
            SUSPEND;
            OUT_PACKTIME = LAST_T;
            OUT_ENDTIME = T;
            OUT_DELTATIME = SECONDS_TO_DHMS(DATEDIFF(MILLISECOND FROM LAST_T TO T) / 1000.0e0);
            OUT_REASON = 'нет данных';
            OUT_PCTIME = NULL; OUT_FUELLEVEL = NULL; OUT_BOARDVOLTAGE = NULL;
            OUT_TEMPERATURE = NULL; OUT_LOCOMOTIVEMOVE = NULL; OUT_WARNINGMODE = NULL;
            OUT_ERRORAVTOPROTECT = NULL; OUT_DIESELWORK = NULL; OUT_ABVOLTAGELESSMIN = NULL;
            OUT_ALERTBTN = NULL;
            SUSPEND;
            REASON = 'данные возобновлены';
        END
        ELSE
        BEGIN
            IF (ALRT IS DISTINCT FROM OUT_ALERTBTN) THEN
                REASON = 'тревожная кнопка';
            IF (WARN IS DISTINCT FROM OUT_WARNINGMODE) THEN
                REASON = IIF(REASON IS NULL, '', REASON || ', ') || 'режим предупреждения';
            IF (ERR IS DISTINCT FROM OUT_ERRORAVTOPROTECT) THEN
                REASON = IIF(REASON IS NULL, '', REASON || ', ') || 'отказ автомата защиты 65 вольт';
            IF (DIES IS DISTINCT FROM OUT_DIESELWORK) THEN
                REASON = IIF(REASON IS NULL, '', REASON || ', ') || 'дизель локомотива';
            IF (LOCO IS DISTINCT FROM OUT_LOCOMOTIVEMOVE) THEN
                REASON = IIF(REASON IS NULL, '', REASON || ', ') || 'движение локомотива';
            IF (ABV IS DISTINCT FROM OUT_ABVOLTAGELESSMIN) THEN
                REASON = IIF(REASON IS NULL, '', REASON || ', ') ||
                         'напряжение на АБ меньше минимального порога';
            IF (REASON IS NOT NULL) THEN
            BEGIN
                OUT_ENDTIME = T;
                OUT_DELTATIME = SECONDS_TO_DHMS(DATEDIFF(MILLISECOND FROM OUT_PACKTIME TO T) / 1000.0e0);
                SUSPEND;
            END
        END
        IF (REASON IS NOT NULL) THEN
        BEGIN
            OUT_PACKTIME = T; OUT_REASON = REASON; OUT_NUMBER = OBJ_ID; OUT_PCTIME = PC;
            OUT_FUELLEVEL = FUEL; OUT_BOARDVOLTAGE = VOLT; OUT_TEMPERATURE = TEMP;
            OUT_LOCOMOTIVEMOVE = LOCO; OUT_WARNINGMODE = WARN; OUT_ERRORAVTOPROTECT = ERR;
            OUT_DIESELWORK = DIES; OUT_ABVOLTAGELESSMIN = ABV; OUT_ALERTBTN = ALRT;
        END
        HAVE = 1;
        LAST_T = T;
    END
    IF (HAVE = 1) THEN
    BEGIN
        OUT_ENDTIME = LAST_T;
        OUT_DELTATIME = SECONDS_TO_DHMS(DATEDIFF(MILLISECOND FROM OUT_PACKTIME TO LAST_T) / 1000.0e0);
        SUSPEND;
    END
END^

-- PROC_CALCDAYSTATS(end, start, gap, object): the daily figures behind PROC_CALCPARAMS and the
-- totals procedures, one row per calendar day from the start's date to the end's date (days
-- without data included), each day clipped to [start, end].
-- Every packet's state holds from its time to the next packet's time when that pause is at most
-- gap (fraction of a day); a longer pause counts, as a whole, as time without data
-- (INVALID_S) and adds to no signal. After the last packet the state holds up to the end when
-- that is within gap, otherwise the time up to the end is time without data; time before the
-- object's first packet counts nowhere. The state in force at a day's start comes from the
-- last packet before it. A signal's
-- time is the time it was on (non-zero): ALERT alarm button, OPENTANK tank sensor /
-- locomotive movement, OPENKUNG warning mode, GEN engine (protection breaker signal), INP1
-- diesel, INP2 accumulator voltage below the threshold. Durations are seconds.
-- CHARGEAUTO: litres filled by the sensor, refuellings opened that day (closing minus opening
-- litres by PROC_GETFUEL, a negative day total counts 0); CHARGEMANUAL: the operator's
-- volumes of the refuellings closed that day.
CREATE PROCEDURE PROC_CALCDAYSTATS (DT_END TIMESTAMP, DT_START TIMESTAMP,
                                    GAP DOUBLE PRECISION, OBJ_ID INTEGER)
RETURNS (DAY_DATE DATE, ALERT_S DOUBLE PRECISION, OPENTANK_S DOUBLE PRECISION,
         OPENKUNG_S DOUBLE PRECISION, GEN_S DOUBLE PRECISION, INP1_S DOUBLE PRECISION,
         INP2_S DOUBLE PRECISION, INVALID_S DOUBLE PRECISION, CHARGEAUTO DOUBLE PRECISION,
         CHARGEMANUAL DOUBLE PRECISION) AS
DECLARE VARIABLE D DATE;
DECLARE VARIABLE DLAST DATE;
DECLARE VARIABLE DAY_START TIMESTAMP;
DECLARE VARIABLE MIDNIGHT TIMESTAMP;
DECLARE VARIABLE LO TIMESTAMP;
DECLARE VARIABLE T TIMESTAMP;
DECLARE VARIABLE PT TIMESTAMP;
DECLARE VARIABLE SEG0 TIMESTAMP;
DECLARE VARIABLE SEG1 TIMESTAMP;
DECLARE VARIABLE PART_END TIMESTAMP;
DECLARE VARIABLE PAUSE_MS DOUBLE PRECISION;
DECLARE VARIABLE GAP_MS DOUBLE PRECISION;
DECLARE VARIABLE SEC DOUBLE PRECISION;
DECLARE VARIABLE ALRT INTEGER;
DECLARE VARIABLE LOCO INTEGER;
DECLARE VARIABLE WARN INTEGER;
DECLARE VARIABLE ERR INTEGER;
DECLARE VARIABLE DIES INTEGER;
DECLARE VARIABLE ABV INTEGER;
DECLARE VARIABLE P_ALRT INTEGER;
DECLARE VARIABLE P_LOCO INTEGER;
DECLARE VARIABLE P_WARN INTEGER;
DECLARE VARIABLE P_ERR INTEGER;
DECLARE VARIABLE P_DIES INTEGER;
DECLARE VARIABLE P_ABV INTEGER;
DECLARE VARIABLE NEXT_MID TIMESTAMP;
BEGIN
    IF (DT_START IS NULL OR DT_END IS NULL OR DT_END < DT_START) THEN
        EXIT;
    GAP_MS = COALESCE(GAP, 0) * 86400000;
    D = CAST(DT_START AS DATE);
    DLAST = CAST(DT_END AS DATE);
    ALERT_S = 0; OPENTANK_S = 0; OPENKUNG_S = 0; GEN_S = 0; INP1_S = 0; INP2_S = 0;
    INVALID_S = 0;
    -- One pass over the packets from the last one at or before the start: each packet's state
    -- holds until the next one (the row after the period is the last row's next, or the end
    -- itself when there is none), split at midnights into the days it covers.
    LO = NULL;
    SELECT MAX(INS_PACKTIME) FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME <= :DT_START INTO :LO;
    LO = COALESCE(LO, DT_START);
    PT = NULL;
    NEXT_MID = CAST(D + 1 AS TIMESTAMP); -- the end of the day D
    -- The union reads its parts one after the other: the packets in time order (the key's
    -- index), then the one row that closes the last packet's state.
    FOR SELECT * FROM (SELECT INS_PACKTIME, COALESCE(INS_ALERTBTN, 0) AS A,
               COALESCE(INS_LOCOMOTIVEMOVE, 0) AS L, COALESCE(INS_WARNINGMODE, 0) AS W,
               COALESCE(INS_ERRORAVTOPROTECT, 0) AS E, COALESCE(INS_DIESELWORK, 0) AS DW,
               COALESCE(INS_ABVOLTAGELESSMIN, 0) AS V
        FROM INPUTSIGNALS
        WHERE INS_NUMBER = :OBJ_ID AND INS_PACKTIME >= :LO AND INS_PACKTIME <= :DT_END
        ORDER BY INS_NUMBER, INS_PACKTIME)
        UNION ALL
        SELECT COALESCE((SELECT FIRST 1 N.INS_PACKTIME FROM INPUTSIGNALS N
                             WHERE N.INS_NUMBER = :OBJ_ID AND N.INS_PACKTIME > :DT_END
                             ORDER BY N.INS_NUMBER, N.INS_PACKTIME), :DT_END),
               NULL, NULL, NULL, NULL, NULL, NULL
        FROM RDB$DATABASE
        INTO :T, :ALRT, :LOCO, :WARN, :ERR, :DIES, :ABV
    DO
    BEGIN
        IF (PT IS NOT NULL AND T > PT AND PT >= DT_START AND T <= NEXT_MID AND T <= DT_END) THEN
        BEGIN
            -- Nearly every step lies inside the current day and the period: one part, no
            -- clipping.
            PAUSE_MS = DATEDIFF(MILLISECOND FROM PT TO T);
            SEC = PAUSE_MS / 1000.0e0;
            IF (PAUSE_MS > GAP_MS) THEN
                INVALID_S = INVALID_S + SEC;
            ELSE
            BEGIN
                IF (P_ALRT <> 0) THEN ALERT_S = ALERT_S + SEC;
                IF (P_LOCO <> 0) THEN OPENTANK_S = OPENTANK_S + SEC;
                IF (P_WARN <> 0) THEN OPENKUNG_S = OPENKUNG_S + SEC;
                IF (P_ERR <> 0) THEN GEN_S = GEN_S + SEC;
                IF (P_DIES <> 0) THEN INP1_S = INP1_S + SEC;
                IF (P_ABV <> 0) THEN INP2_S = INP2_S + SEC;
            END
        END
        ELSE IF (PT IS NOT NULL AND T > PT) THEN
        BEGIN
            PAUSE_MS = DATEDIFF(MILLISECOND FROM PT TO T);
            SEG0 = MAXVALUE(PT, DT_START);
            SEG1 = MINVALUE(T, DT_END);
            WHILE (SEG0 < SEG1) DO
            BEGIN
                -- Days the pass has left behind are complete.
                WHILE (CAST(SEG0 AS DATE) > D) DO
                BEGIN
                    DAY_START = MAXVALUE(CAST(D AS TIMESTAMP), DT_START);
                    MIDNIGHT = CAST(D + 1 AS TIMESTAMP);
                    CHARGEMANUAL = 0;
                    SELECT COALESCE(SUM(CHARGED_VOLUME), 0) FROM FUEL_CHARGE
                        WHERE ID = :OBJ_ID AND CLOSE_TANK_TS_PACKET >= :DAY_START
                          AND CLOSE_TANK_TS_PACKET < :MIDNIGHT AND CLOSE_TANK_TS_PACKET <= :DT_END
                        INTO :CHARGEMANUAL;
                    CHARGEAUTO = 0;
                    SELECT COALESCE(SUM((SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(C.ID, C.CLOSE_TANK_SENSOR)) -
                                        (SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(C.ID, C.OPEN_TANK_SENSOR))), 0)
                        FROM FUEL_CHARGE C
                        WHERE C.ID = :OBJ_ID AND C.OPEN_TANK_TS_PACKET >= :DAY_START
                          AND C.OPEN_TANK_TS_PACKET < :MIDNIGHT AND C.OPEN_TANK_TS_PACKET <= :DT_END
                          AND C.OPEN_TANK_SENSOR > 0
                        INTO :CHARGEAUTO;
                    IF (CHARGEAUTO < 0) THEN
                        CHARGEAUTO = 0;
                    DAY_DATE = D;
                    SUSPEND;
                    ALERT_S = 0; OPENTANK_S = 0; OPENKUNG_S = 0; GEN_S = 0; INP1_S = 0;
                    INP2_S = 0; INVALID_S = 0;
                    D = D + 1;
                END
                PART_END = MINVALUE(SEG1, CAST(D + 1 AS TIMESTAMP));
                SEC = DATEDIFF(MILLISECOND FROM SEG0 TO PART_END) / 1000.0e0;
                IF (PAUSE_MS > GAP_MS) THEN
                    INVALID_S = INVALID_S + SEC;
                ELSE
                BEGIN
                    IF (P_ALRT <> 0) THEN ALERT_S = ALERT_S + SEC;
                    IF (P_LOCO <> 0) THEN OPENTANK_S = OPENTANK_S + SEC;
                    IF (P_WARN <> 0) THEN OPENKUNG_S = OPENKUNG_S + SEC;
                    IF (P_ERR <> 0) THEN GEN_S = GEN_S + SEC;
                    IF (P_DIES <> 0) THEN INP1_S = INP1_S + SEC;
                    IF (P_ABV <> 0) THEN INP2_S = INP2_S + SEC;
                END
                SEG0 = PART_END;
            END
            NEXT_MID = CAST(D + 1 AS TIMESTAMP);
        END
        PT = T;
        P_ALRT = ALRT; P_LOCO = LOCO; P_WARN = WARN; P_ERR = ERR; P_DIES = DIES; P_ABV = ABV;
    END
    -- The rest of the days, with or without data.
    WHILE (D <= DLAST) DO
    BEGIN
        DAY_START = MAXVALUE(CAST(D AS TIMESTAMP), DT_START);
        MIDNIGHT = CAST(D + 1 AS TIMESTAMP);
        CHARGEMANUAL = 0;
        SELECT COALESCE(SUM(CHARGED_VOLUME), 0) FROM FUEL_CHARGE
            WHERE ID = :OBJ_ID AND CLOSE_TANK_TS_PACKET >= :DAY_START
              AND CLOSE_TANK_TS_PACKET < :MIDNIGHT AND CLOSE_TANK_TS_PACKET <= :DT_END
            INTO :CHARGEMANUAL;
        CHARGEAUTO = 0;
        SELECT COALESCE(SUM((SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(C.ID, C.CLOSE_TANK_SENSOR)) -
                            (SELECT OUT_FUEL_LEVEL FROM PROC_GETFUEL(C.ID, C.OPEN_TANK_SENSOR))), 0)
            FROM FUEL_CHARGE C
            WHERE C.ID = :OBJ_ID AND C.OPEN_TANK_TS_PACKET >= :DAY_START
              AND C.OPEN_TANK_TS_PACKET < :MIDNIGHT AND C.OPEN_TANK_TS_PACKET <= :DT_END
              AND C.OPEN_TANK_SENSOR > 0
            INTO :CHARGEAUTO;
        IF (CHARGEAUTO < 0) THEN
            CHARGEAUTO = 0;
        DAY_DATE = D;
        SUSPEND;
        ALERT_S = 0; OPENTANK_S = 0; OPENKUNG_S = 0; GEN_S = 0; INP1_S = 0; INP2_S = 0;
        INVALID_S = 0;
        D = D + 1;
    END
END^

-- PROC_CALCPARAMS(end, start, gap, object): one row per day (PROC_CALCDAYSTATS), with the
-- durations as D-H-M-S texts (CALCPARAMS type "MYTIME") and ACC_GENTIME, the engine time in
-- days. The distance and the sensor consumption come from the track files and the filtered
-- fuel series, which the client computes; those columns (and the averages built from them) are
-- NULL here. PAR_CHARGEAUTO and PAR_CHARGEMANUAL are the day's refuelled litres.
CREATE PROCEDURE PROC_CALCPARAMS (DT_END TIMESTAMP, DT_START TIMESTAMP,
                                  GAP DOUBLE PRECISION, OBJ_ID INTEGER)
RETURNS (PAR_DATE DATE, PAR_NUMBER INTEGER, ACC_GENTIME DOUBLE PRECISION,
         PAR_TRACKLEN DOUBLE PRECISION, PAR_FUELCONS DOUBLE PRECISION,
         PAR_FUELCONST DOUBLE PRECISION, PAR_CHARGEAUTO DOUBLE PRECISION,
         PAR_CHARGEMANUAL DOUBLE PRECISION, PAR_AVGFUELLEN DOUBLE PRECISION,
         PAR_AVGFUELENG DOUBLE PRECISION, PAR_GENTIME VARCHAR(40), PAR_INP1 VARCHAR(40),
         PAR_OPENTANK VARCHAR(40), PAR_OPENKUNG VARCHAR(40), PAR_ALERT VARCHAR(40),
         PAR_INP2 VARCHAR(40), PAR_INVALIDDATA VARCHAR(40)) AS
DECLARE VARIABLE A DOUBLE PRECISION;
DECLARE VARIABLE TK DOUBLE PRECISION;
DECLARE VARIABLE K DOUBLE PRECISION;
DECLARE VARIABLE G DOUBLE PRECISION;
DECLARE VARIABLE I1 DOUBLE PRECISION;
DECLARE VARIABLE I2 DOUBLE PRECISION;
DECLARE VARIABLE INV DOUBLE PRECISION;
BEGIN
    PAR_NUMBER = OBJ_ID;
    PAR_TRACKLEN = NULL; PAR_FUELCONS = NULL; PAR_FUELCONST = NULL;
    PAR_AVGFUELLEN = NULL; PAR_AVGFUELENG = NULL;
    FOR SELECT DAY_DATE, ALERT_S, OPENTANK_S, OPENKUNG_S, GEN_S, INP1_S, INP2_S, INVALID_S,
               CHARGEAUTO, CHARGEMANUAL
        FROM PROC_CALCDAYSTATS(:DT_END, :DT_START, :GAP, :OBJ_ID)
        INTO :PAR_DATE, :A, :TK, :K, :G, :I1, :I2, :INV, :PAR_CHARGEAUTO, :PAR_CHARGEMANUAL
    DO
    BEGIN
        ACC_GENTIME = G / 86400;
        PAR_GENTIME = SECONDS_TO_DHMS(G);
        PAR_INP1 = SECONDS_TO_DHMS(I1);
        PAR_OPENTANK = SECONDS_TO_DHMS(TK);
        PAR_OPENKUNG = SECONDS_TO_DHMS(K);
        PAR_ALERT = SECONDS_TO_DHMS(A);
        PAR_INP2 = SECONDS_TO_DHMS(I2);
        PAR_INVALIDDATA = SECONDS_TO_DHMS(INV);
        SUSPEND;
    END
END^

-- PROC_CALCSUMOBJPARAMS(gap, end, start, object): totals of PROC_CALCDAYSTATS over the
-- period, one row. The first argument is the greatest allowed pause between packets as a
-- fraction of a day (the reports pass 0.5, half a day). Durations are fractions of a day;
-- ACC_NUMBER is the object number; distance, consumption and averages are the client's (NULL).
CREATE PROCEDURE PROC_CALCSUMOBJPARAMS (GAP DOUBLE PRECISION, DT_END TIMESTAMP,
                                        DT_START TIMESTAMP, OBJ_ID INTEGER)
RETURNS (ACC_NUMBER INTEGER, ACC_GENTIME DOUBLE PRECISION, ACC_INP1 DOUBLE PRECISION,
         ACC_OPENTANK DOUBLE PRECISION, ACC_OPENKUNG DOUBLE PRECISION,
         ACC_ALERT DOUBLE PRECISION, ACC_INP2 DOUBLE PRECISION,
         ACC_INVALIDDATA DOUBLE PRECISION, ACC_CHARGEAUTO DOUBLE PRECISION,
         ACC_CHARGEMANUAL DOUBLE PRECISION, ACC_TRACKLEN DOUBLE PRECISION,
         ACC_FUELCONS DOUBLE PRECISION, ACC_FUELCONST DOUBLE PRECISION,
         ACC_AVGFUELLEN DOUBLE PRECISION, ACC_AVGFUELENG DOUBLE PRECISION) AS
BEGIN
    ACC_NUMBER = OBJ_ID;
    SELECT COALESCE(SUM(GEN_S), 0) / 86400, COALESCE(SUM(INP1_S), 0) / 86400,
           COALESCE(SUM(OPENTANK_S), 0) / 86400, COALESCE(SUM(OPENKUNG_S), 0) / 86400,
           COALESCE(SUM(ALERT_S), 0) / 86400, COALESCE(SUM(INP2_S), 0) / 86400,
           COALESCE(SUM(INVALID_S), 0) / 86400, COALESCE(SUM(CHARGEAUTO), 0),
           COALESCE(SUM(CHARGEMANUAL), 0)
        FROM PROC_CALCDAYSTATS(:DT_END, :DT_START, :GAP, :OBJ_ID)
        INTO :ACC_GENTIME, :ACC_INP1, :ACC_OPENTANK, :ACC_OPENKUNG, :ACC_ALERT, :ACC_INP2,
             :ACC_INVALIDDATA, :ACC_CHARGEAUTO, :ACC_CHARGEMANUAL;
    ACC_TRACKLEN = NULL; ACC_FUELCONS = NULL; ACC_FUELCONST = NULL;
    ACC_AVGFUELLEN = NULL; ACC_AVGFUELENG = NULL;
    SUSPEND;
END^

-- PROC_CALCGRPPARAMS(gap, end, start, group): the same totals summed over the group's member
-- objects (OBJ_GRP rows of that GRP_ID; each object once). ACC_NUMBER is the number of members.
CREATE PROCEDURE PROC_CALCGRPPARAMS (GAP DOUBLE PRECISION, DT_END TIMESTAMP,
                                     DT_START TIMESTAMP, GRP_ID VARCHAR(38))
RETURNS (ACC_NUMBER INTEGER, ACC_GENTIME DOUBLE PRECISION, ACC_INP1 DOUBLE PRECISION,
         ACC_OPENTANK DOUBLE PRECISION, ACC_OPENKUNG DOUBLE PRECISION,
         ACC_ALERT DOUBLE PRECISION, ACC_INP2 DOUBLE PRECISION,
         ACC_INVALIDDATA DOUBLE PRECISION, ACC_CHARGEAUTO DOUBLE PRECISION,
         ACC_CHARGEMANUAL DOUBLE PRECISION, ACC_TRACKLEN DOUBLE PRECISION,
         ACC_FUELCONS DOUBLE PRECISION, ACC_FUELCONST DOUBLE PRECISION,
         ACC_AVGFUELLEN DOUBLE PRECISION, ACC_AVGFUELENG DOUBLE PRECISION) AS
BEGIN
    SELECT COUNT(*), COALESCE(SUM(P.ACC_GENTIME), 0), COALESCE(SUM(P.ACC_INP1), 0),
           COALESCE(SUM(P.ACC_OPENTANK), 0), COALESCE(SUM(P.ACC_OPENKUNG), 0),
           COALESCE(SUM(P.ACC_ALERT), 0), COALESCE(SUM(P.ACC_INP2), 0),
           COALESCE(SUM(P.ACC_INVALIDDATA), 0), COALESCE(SUM(P.ACC_CHARGEAUTO), 0),
           COALESCE(SUM(P.ACC_CHARGEMANUAL), 0)
        FROM (SELECT DISTINCT OG_OBJID FROM OBJ_GRP WHERE OG_GRPID = :GRP_ID) M
        CROSS JOIN PROC_CALCSUMOBJPARAMS(:GAP, :DT_END, :DT_START, M.OG_OBJID) P
        INTO :ACC_NUMBER, :ACC_GENTIME, :ACC_INP1, :ACC_OPENTANK, :ACC_OPENKUNG, :ACC_ALERT,
             :ACC_INP2, :ACC_INVALIDDATA, :ACC_CHARGEAUTO, :ACC_CHARGEMANUAL;
    ACC_TRACKLEN = NULL; ACC_FUELCONS = NULL; ACC_FUELCONST = NULL;
    ACC_AVGFUELLEN = NULL; ACC_AVGFUELENG = NULL;
    SUSPEND;
END^

SET TERM ; ^

-- Shipped catalogue rows. An update copies the user's rows first; only missing names are added,
-- so the user's captions and choices stay and nothing is duplicated.
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'подключение', 1, 'Подключение', '0', 1, 3, 1, 0, 0, 0, 90, 0, 1,
    'Объект подключен к серверу', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'подключение');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'наименование объекта', 2, 'Наименование;объекта', '0', 1, 22, 1, 0, 0, 0, 150, 0, 1,
    'Имя объекта из реестра', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'наименование объекта');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'метка', 3, 'Метка', '0', 0, 0, 1, 0, 0, 0, 80, 0, 1,
    'Короткая метка у маркера на карте', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'метка');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'дата\время', 4, 'Дата\время;пакета', 'INS_PACKTIME', 0, 0, 1, 0, 0, 0, 140, 0, 1,
    'Время последнего пакета', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'дата\время');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'тревожная кнопка', 5, 'Тревожная;кнопка', 'INS_ALERTBTN', 0, 0, 1, 0, 1, 1, 80, 0, 1,
    'Нажата тревожная кнопка', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'тревожная кнопка');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'режим предупреждения', 6, 'Режим;предупреждения', 'INS_WARNINGMODE', 1, 14, 1, 0, 1, 2, 110, 0, 1,
    'Режим предупреждения', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'режим предупреждения');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'дизель локомотива', 7, 'Дизель;локомотива', 'INS_DIESELWORK', 1, 1, 1, 0, 1, 3, 90, 0, 1,
    'Работа дизеля', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'дизель локомотива');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'движение локомотива', 8, 'Движение;локомотива', 'INS_LOCOMOTIVEMOVE', 1, 2, 1, 0, 1, 4, 90, 0, 1,
    'Локомотив в движении', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'движение локомотива');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'отказ автомата защиты 65 вольт', 9, 'Отказ автомата;защиты 65 В', 'INS_ERRORAVTOPROTECT', 1, 13, 1, 0, 1, 5, 105, 0, 1,
    'Отказ автомата защиты 65 вольт', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'отказ автомата защиты 65 вольт');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'напряжение на АБ меньше минимального порога', 10, 'Напряжение АБ;ниже порога', 'INS_ABVOLTAGELESSMIN', 0, 0, 1, 0, 1, 6, 105, 0, 1,
    'Напряжение аккумуляторной батареи ниже минимального порога', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'напряжение на АБ меньше минимального порога');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'время горения котла 1', 11, 'Напряжение;бортовой сети, В', 'INS_BOARDVOLTAGE', 1, 8, 1, 0, 0, 0, 110, 0, 1,
    'Напряжение бортовой сети', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'время горения котла 1');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'датчик уровня топлива мв', 12, 'Датчик уровня;топлива', 'INS_FUELLEVEL', 0, 0, 1, 0, 0, 0, 100, 0, 1,
    'Показания датчика уровня топлива', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'датчик уровня топлива мв');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'время горения котла 2', 13, 'Топливо, л', 'INS_FUELLEVEL', 1, 9, 1, 0, 0, 0, 80, 0, 1,
    'Объем топлива по таблице тарировки', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'время горения котла 2');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'температура', 14, 'Температура', 'INS_TEMPERATURE', 0, 0, 1, 0, 0, 0, 90, 0, 1,
    'Температура', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'температура');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'текущая скорость', 15, 'Скорость,;км/ч', '0', 0, 0, 1, 0, 0, 0, 70, 0, 1,
    'Текущая скорость', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'текущая скорость');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'широта', 16, 'Широта', '0', 0, 0, 1, 0, 0, 0, 85, 0, 1,
    'Широта последней позиции', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'широта');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'долгота', 17, 'Долгота', '0', 0, 0, 1, 0, 0, 0, 85, 0, 1,
    'Долгота последней позиции', 0, 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'долгота');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'подогреватель 1', 18, 'Подогреватель 1', '0', 1, 4, 2, 0, 0, 0, 64, 0, 1,
    'Подогреватель 1', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'подогреватель 1');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'подогреватель 2', 19, 'Подогреватель 2', '0', 1, 5, 2, 0, 0, 0, 64, 0, 1,
    'Подогреватель 2', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'подогреватель 2');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'код ошибки подогревателя 1', 20, 'Код ошибки;подогревателя 1', '0', 1, 6, 2, 0, 0, 0, 64, 0, 1,
    'Код ошибки подогревателя 1', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'код ошибки подогревателя 1');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'код ошибки подогревателя 2', 21, 'Код ошибки;подогревателя 2', '0', 1, 7, 2, 0, 0, 0, 64, 0, 1,
    'Код ошибки подогревателя 2', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'код ошибки подогревателя 2');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'воздушный отопитель', 22, 'Воздушный;отопитель', '0', 1, 10, 2, 0, 0, 0, 64, 0, 1,
    'Воздушный отопитель', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'воздушный отопитель');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'код ошибки воздушного отопителя', 23, 'Код ошибки;воздушного отопителя', '0', 1, 11, 2, 0, 0, 0, 64, 0, 1,
    'Код ошибки воздушного отопителя', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'код ошибки воздушного отопителя');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'напряжение на АБ системы менее 21.8 вольт', 24, 'Напряжение АБ;менее 21.8 В', '0', 1, 12, 2, 0, 0, 0, 64, 0, 1,
    'Напряжение АБ системы менее 21.8 вольт', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'напряжение на АБ системы менее 21.8 вольт');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'сброс предупреждения', 25, 'Сброс;предупреждения', '0', 1, 15, 2, 0, 0, 0, 64, 0, 1,
    'Сброс предупреждения', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'сброс предупреждения');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат включения подогревателя 1', 26, 'Автомат включения;подогревателя 1', '0', 1, 16, 2, 0, 0, 0, 64, 0, 1,
    'Автомат включения подогревателя 1', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат включения подогревателя 1');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат включения подогревателя 2', 27, 'Автомат включения;подогревателя 2', '0', 1, 17, 2, 0, 0, 0, 64, 0, 1,
    'Автомат включения подогревателя 2', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат включения подогревателя 2');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат помпы подогревателя 1', 28, 'Автомат помпы;подогревателя 1', '0', 1, 18, 2, 0, 0, 0, 64, 0, 1,
    'Автомат помпы подогревателя 1', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат помпы подогревателя 1');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат помпы подогревателя 2', 29, 'Автомат помпы;подогревателя 2', '0', 1, 19, 2, 0, 0, 0, 64, 0, 1,
    'Автомат помпы подогревателя 2', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат помпы подогревателя 2');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат масляного насоса', 30, 'Автомат;масляного насоса', '0', 1, 20, 2, 0, 0, 0, 64, 0, 1,
    'Автомат масляного насоса', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат масляного насоса');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'автомат пульта', 31, 'Автомат;пульта', '0', 1, 21, 2, 0, 0, 0, 64, 0, 1,
    'Автомат пульта', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'автомат пульта');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'тип объекта', 32, 'Тип;объекта', '0', 0, 0, 2, 0, 0, 0, 64, 0, 1,
    'Тип объекта', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'тип объекта');
INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY,
    PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, PRM_USEINSOSTQUERY,
    PRM_USESOSTINDEX, PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, PRM_USEINPROGRAM,
    PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, PRM_USEINSOSTGRID)
  SELECT 'время работы отопителя', 33, 'Время работы;отопителя', '0', 0, 0, 2, 0, 0, 0, 64, 0, 1,
    'Время работы отопителя', 0, 0 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM PARAMS WHERE PRM_NAME = 'время работы отопителя');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_DATE', 'Дата', 1, 1, 'Дата', 1, 1, 'DATE', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_DATE');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_NUMBER', 'Номер;объекта', 2, 1, 'Номер объекта', 2, 1, 'INTEGER', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_NUMBER');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_TRACKLEN', 'Пробег,;км', 3, 1, 'Пробег', 3, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_TRACKLEN');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_FUELCONS', 'Расход;топлива;(датчик), л', 4, 1, 'Расход топлива (датчик)', 4, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_FUELCONS');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_FUELCONST', 'Расход;топлива;(норматив), л', 5, 1, 'Расход топлива (норматив)', 5, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_FUELCONST');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_CHARGEAUTO', 'Залито;топлива;(датчик), л', 6, 1, 'Залито топлива (датчик)', 6, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_CHARGEAUTO');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_CHARGEMANUAL', 'Залито;топлива;(факт), л', 7, 1, 'Залито топлива (факт)', 7, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_CHARGEMANUAL');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_AVGFUELLEN', 'Расход;на 100 км,;л', 8, 1, 'Расход на 100 км', 8, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_AVGFUELLEN');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_AVGFUELENG', 'Расход;на 1 час работы;двигателя, л', 9, 1, 'Расход на 1 час работы двигателя', 9, 1, 'FLOAT', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_AVGFUELENG');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_GENTIME', 'Время;работы;двигателя', 10, 1, 'Время работы двигателя', 10, 1, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_GENTIME');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_INP1', 'Работа;дизеля', 11, 1, 'Работа дизеля', 11, 0, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_INP1');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_OPENTANK', 'Движение;локомотива', 12, 0, 'Движение локомотива', 12, 0, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_OPENTANK');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_OPENKUNG', 'Режим;предупреждения', 13, 0, 'Режим предупреждения', 13, 0, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_OPENKUNG');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_ALERT', 'Тревожная;кнопка', 14, 1, 'Тревожная кнопка', 14, 1, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_ALERT');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_INP2', 'Напряжение АБ;ниже порога', 15, 0, 'Напряжение АБ ниже порога', 15, 0, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_INP2');
INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, PR_DISP, PR_DISPNAME, PR_SETINDEX,
    PR_SETDISP, PR_FIELDTYPE, PR_ENABLE)
  SELECT 'PAR_INVALIDDATA', 'Нет;данных', 16, 1, 'Нет данных', 16, 1, 'MYTIME', 1 FROM RDB$DATABASE
  WHERE NOT EXISTS (SELECT 1 FROM CALCPARAMS WHERE PR_NAME = 'PAR_INVALIDDATA');

-- The structure version of this script.
DELETE FROM SYS;
INSERT INTO SYS (LAST_VERSION) VALUES (3);
