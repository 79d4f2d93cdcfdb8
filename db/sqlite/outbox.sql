-- The outbox on SQLite: every change of a Coleta writes one event row in the
-- same transaction as the change, by triggers, so every writer is covered.
--
-- One event per change, not one per row, and no statement of its own: SQLite
-- has no transaction id, so the triggers tell where a change begins and ends
-- by the shape every change of the component has. A save writes the header
-- first (INSERT or UPDATE), then its audit row, then replaces the pieces
-- (DELETE, then INSERTs); a delete removes the pieces, then sets the header's
-- status to 2. A Coleta whose latest event is still open has a row in
-- KTR_EVENTO_ABERTO with the phase (FASE) saying what may still join it:
--   0 opened by a header write, pieces not touched yet
--   1 opened by a header write, pieces being removed
--   2 pieces being written
--   3 opened by removing pieces, the header not written yet
-- A header write opens a new event, except the change of status to 2 that
-- follows the removal of the pieces (phase 3), which closes it. Removing a
-- piece joins phases 0, 1 and 3; writing a piece joins any open event.
-- Anything else opens a new event. An event is closed by a delete and by
-- its distribution. Each save and each delete is thus one event, on the
-- normal path and when its statements commit one by one. Another program's
-- writes are covered alike: each statement writing a header opens an event,
-- and its piece changes join the Coleta's open event until the next header
-- write or the next dispatcher pass.
--
-- Who made the change: the save's audit row names the user (it joins the
-- event in phase 0). A transaction of the component that has more to say
-- (the user of a delete, which writes no audit row; the name of the program
-- or HTTP token acting) writes KTR_EVENTO_CONTEXTO at its start and removes
-- it before its commit, so no other session ever sees it; a save made in
-- process without a name writes no context at all.
--
-- An event holds the Coleta as it was before the change (ANTES, NULL for a
-- new Coleta): its header fields under "coleta" and its cargo pieces, in key
-- order, under "cargas". The state after the change is the state before the
-- Coleta's next event, or, for its latest event, the Coleta as it is now:
-- KTR_EVENTO_HISTORICO shows both (DEPOIS NULL once the row is gone), and the
-- kind (created, changed, pieces replaced, deleted) follows from the two. So
-- a change costs one row written once, whatever number of rows it touches.
-- The file is plain ASCII.

CREATE TABLE KTR_EVENTO (
  EVENTO_ID INTEGER PRIMARY KEY,
  DOCTO_TRANSPORTE_ID INTEGER NOT NULL,
  DATA_HORA VARCHAR(30) NOT NULL,
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100),
  ANTES TEXT,
  DISTRIBUIDO INTEGER NOT NULL DEFAULT 0 CHECK (DISTRIBUIDO IN (0, 1))
);
-- A Coleta's events in order (the key follows the index's own): its latest
-- event and the one after a given event are found at once, however many it has.
-- Numbers are never handed out twice: the retention never deletes the latest
-- event, and a new one is numbered after the greatest there is. One writer at
-- a time numbers and commits them, so the events not yet distributed are the
-- ones after the last distributed: the dispatcher finds them from the end of
-- the table, and a change writes no index page for them.
CREATE INDEX KTR_EVENTO_COLETA ON KTR_EVENTO (DOCTO_TRANSPORTE_ID);

-- The open event of a Coleta, if any, and its phase (see above). The
-- triggers never read KTR_EVENTO itself before they add to it: SQLite would
-- then stage every added row in a temporary table.
CREATE TABLE KTR_EVENTO_ABERTO (
  DOCTO_TRANSPORTE_ID INTEGER PRIMARY KEY,
  EVENTO_ID INTEGER NOT NULL,
  FASE INTEGER NOT NULL CHECK (FASE BETWEEN 0 AND 3)
);

-- At most one row, only inside a transaction of the component.
CREATE TABLE KTR_EVENTO_CONTEXTO (
  CONTEXTO_ID INTEGER PRIMARY KEY CHECK (CONTEXTO_ID = 1),
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100)
);

-- The state of each Coleta as an event records it: one aggregate over its
-- pieces (read through their index, so in key order) that builds the whole
-- text, so no JSON is parsed again. Every trigger takes the state from here,
-- the header's BEFORE triggers too: the row still holds what OLD holds, and
-- the fields an event records are then named in this one place.
CREATE VIEW KTR_COLETA_ESTADO AS
  SELECT D.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         (SELECT json_object(
                   'coleta', json_object(
                     'empresa_id', D.EMPRESA_ID, 'cliente_id', D.CLIENTE_ID,
                     'end_remetente_id', D.END_REMETENTE_ID,
                     'end_destinatario_id', D.END_DESTINATARIO_ID,
                     'num_volume', D.NUM_VOLUME, 'peso_real', D.PESO_REAL,
                     'txt_embalagem', D.TXT_EMBALAGEM, 'val_declarado', D.VAL_DECLARADO,
                     'tab_status_id', D.TAB_STATUS_ID, 'data_emissao', D.DATA_EMISSAO),
                   'cargas', json_group_array(json_object(
                     'carga_id', C.CARGA_ID, 'num_volume', C.NUM_VOLUME,
                     'largura_m', C.LARGURA_M, 'altura_m', C.ALTURA_M,
                     'comprimento_m', C.COMPRIMENTO_M)))
            FROM CARGA C WHERE C.DOCTO_TRANSPORTE_ID = D.DOCTO_TRANSPORTE_ID) AS ESTADO
    FROM DOCTO_TRANSPORTE D
   WHERE D.TAB_TIPO_DOCTO_TRANSP_ID = 5;

-- Each event with the state after it.
CREATE VIEW KTR_EVENTO_HISTORICO AS
  SELECT E.EVENTO_ID AS EVENTO_ID, E.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         E.DATA_HORA AS DATA_HORA, E.USUARIO_ID AS USUARIO_ID, E.ORIGEM AS ORIGEM,
         E.ANTES AS ANTES,
         CASE WHEN EXISTS (SELECT 1 FROM KTR_EVENTO N
                            WHERE N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                              AND N.EVENTO_ID > E.EVENTO_ID)
              THEN (SELECT N.ANTES FROM KTR_EVENTO N
                     WHERE N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                       AND N.EVENTO_ID > E.EVENTO_ID ORDER BY N.EVENTO_ID LIMIT 1)
              ELSE (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
                     WHERE S.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID) END AS DEPOIS,
         E.DISTRIBUIDO AS DISTRIBUIDO
    FROM KTR_EVENTO E;

-- Each trigger first offers the change to the Coleta's open event and opens
-- a new one only when that took nothing: changes() counts the rows of the
-- trigger's own last statement, and last_insert_rowid() names the event the
-- trigger just added. A new row's trigger runs AFTER the insert, when its
-- key is known even if the writer left it to the engine; there is no state
-- before.

CREATE TRIGGER KTR_EVENTO_DOCTO_INC AFTER INSERT ON DOCTO_TRANSPORTE
WHEN NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         NULL
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 0 WHERE changes() = 1;
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_ALT_ANTES BEFORE UPDATE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5 OR NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  DELETE FROM KTR_EVENTO_ABERTO
   WHERE NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2
     AND DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID AND FASE = 3;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
            WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 0 WHERE changes() = 1 AND NOT (NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2);
  DELETE FROM KTR_EVENTO_ABERTO
   WHERE NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2
     AND DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_EXC_ANTES BEFORE DELETE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  DELETE FROM KTR_EVENTO_ABERTO WHERE DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID AND FASE = 3;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
            WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0;
  DELETE FROM KTR_EVENTO_ABERTO WHERE DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
END;

-- A Coleta's pieces. Joining the open event and opening a new one are two
-- triggers: the second's WHEN finds the open event and skips its statements,
-- which on a save (always joining) would otherwise each open their cursors
-- for nothing. Either may fire first: each leaves the other's test as it
-- was. A new event is opened only for a Coleta (the state view has no other
-- document).
CREATE TRIGGER KTR_EVENTO_CARGA_INC_ANTES BEFORE INSERT ON CARGA
BEGIN
  UPDATE KTR_EVENTO_ABERTO SET FASE = 2
   WHERE DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID AND FASE <> 2;
END;

CREATE TRIGGER KTR_EVENTO_CARGA_INC_ABRE BEFORE INSERT ON CARGA
WHEN NOT EXISTS (SELECT 1 FROM KTR_EVENTO_ABERTO A
                  WHERE A.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 2 WHERE changes() = 1;
END;

CREATE TRIGGER KTR_EVENTO_CARGA_EXC_ANTES BEFORE DELETE ON CARGA
BEGIN
  UPDATE KTR_EVENTO_ABERTO SET FASE = 1
   WHERE DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID AND FASE = 0;
END;

CREATE TRIGGER KTR_EVENTO_CARGA_EXC_ABRE BEFORE DELETE ON CARGA
WHEN NOT EXISTS (SELECT 1 FROM KTR_EVENTO_ABERTO A
                  WHERE A.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID AND A.FASE <> 2)
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT OLD.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 3 WHERE changes() = 1;
END;

-- A piece moved from one document to another changes both; only other
-- programs update pieces.
CREATE TRIGGER KTR_EVENTO_CARGA_ALT_ANTES BEFORE UPDATE ON CARGA
BEGIN
  UPDATE KTR_EVENTO_ABERTO SET FASE = 2
   WHERE DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT OLD.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 2 WHERE changes() = 1;
  UPDATE KTR_EVENTO_ABERTO SET FASE = 2
   WHERE DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
  INSERT OR REPLACE INTO KTR_EVENTO_ABERTO (DOCTO_TRANSPORTE_ID, EVENTO_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, last_insert_rowid(), 2 WHERE changes() = 1;
END;

-- The save's audit row names its user: it joins the event its header write
-- just opened, unless the context named the user already.
CREATE TRIGGER KTR_EVENTO_AUDITORIA AFTER INSERT ON KTR_AUDITORIA
WHEN NEW.ENTIDADE = 13 AND NEW.USUARIO_ID IS NOT NULL
BEGIN
  UPDATE KTR_EVENTO SET USUARIO_ID = CAST(NEW.USUARIO_ID AS TEXT)
   WHERE EVENTO_ID = (SELECT A.EVENTO_ID FROM KTR_EVENTO_ABERTO A
                       WHERE A.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID AND A.FASE = 0)
     AND USUARIO_ID IS NULL;
END;

-- A distributed event is closed: a later change opens the next one.
CREATE TRIGGER KTR_EVENTO_DISTRIBUIDO AFTER UPDATE OF DISTRIBUIDO ON KTR_EVENTO
WHEN NEW.DISTRIBUIDO = 1
BEGIN
  DELETE FROM KTR_EVENTO_ABERTO
   WHERE DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID AND EVENTO_ID = NEW.EVENTO_ID;
END;

-- Webhook subscriptions: a URL, the kinds it wants (blank-separated, empty
-- for all), an optional client, and the secret its deliveries are signed
-- with. FORMATO 'json' or 'one-record'.
CREATE TABLE KTR_ASSINATURA (
  ASSINATURA_ID INTEGER PRIMARY KEY AUTOINCREMENT,
  URL VARCHAR(2000) NOT NULL,
  TIPOS VARCHAR(200) NOT NULL DEFAULT '',
  CLIENTE_ID INTEGER,
  SEGREDO VARCHAR(200) NOT NULL,
  FORMATO VARCHAR(20) NOT NULL DEFAULT 'json',
  CRIADA_EM VARCHAR(30) NOT NULL,
  ATIVA INTEGER NOT NULL DEFAULT 1 CHECK (ATIVA IN (0, 1))
);

-- One row per event and subscription, made when the event is distributed.
-- ESTADO 0 pending, 1 delivered, 2 dead letter. PROXIMA: when to try next
-- (Unix milliseconds); LEASE_ATE/LEASE_DONO: which dispatcher holds it.
CREATE TABLE KTR_ENTREGA (
  ASSINATURA_ID INTEGER NOT NULL,
  EVENTO_ID INTEGER NOT NULL,
  DOCTO_TRANSPORTE_ID INTEGER NOT NULL,
  ESTADO INTEGER NOT NULL DEFAULT 0 CHECK (ESTADO IN (0, 1, 2)),
  TENTATIVAS INTEGER NOT NULL DEFAULT 0,
  PROXIMA INTEGER NOT NULL DEFAULT 0,
  LEASE_ATE INTEGER NOT NULL DEFAULT 0,
  LEASE_DONO VARCHAR(64),
  ULTIMO_ERRO VARCHAR(500),
  ENTREGUE_EM VARCHAR(30),
  PRIMARY KEY (ASSINATURA_ID, EVENTO_ID)
);
CREATE INDEX KTR_ENTREGA_PENDENTE ON KTR_ENTREGA (ASSINATURA_ID, DOCTO_TRANSPORTE_ID, EVENTO_ID)
  WHERE ESTADO = 0;
