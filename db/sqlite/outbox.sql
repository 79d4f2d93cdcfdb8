-- The outbox on SQLite: every change of a Coleta writes one event row in the
-- same transaction as the change, by triggers, so every writer is covered.
--
-- One event per change, not one per row, and no statement of its own: SQLite
-- has no transaction id, so the triggers tell where a change begins and ends
-- by the shape every change of the component has. A save writes the header
-- first (INSERT or UPDATE), then its audit row, then replaces the pieces
-- (DELETE, then INSERTs); a delete removes the pieces, then sets the header's
-- status to 2. So the Coleta's latest event, while no dispatcher has taken
-- it, carries a phase (FASE) saying what may still join it:
--   0 opened by a header write, pieces not touched yet
--   1 opened by a header write, pieces being removed
--   2 pieces being written
--   3 opened by removing pieces, the header not written yet
--   4 closed
-- A header write opens a new event, except the change of status to 2 that
-- follows the removal of the pieces (phase 3), which closes it. Removing a
-- piece joins phases 0, 1 and 3; writing a piece joins anything not closed.
-- Anything else opens a new event. Each save and each delete is thus one
-- event, on the normal path and when its statements commit one by one.
-- Another program's writes are covered alike: each statement writing a
-- header opens an event, and its piece changes join the Coleta's open event
-- until the next header write or the next dispatcher pass.
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
  FASE INTEGER NOT NULL DEFAULT 0 CHECK (FASE BETWEEN 0 AND 4),
  DISTRIBUIDO INTEGER NOT NULL DEFAULT 0 CHECK (DISTRIBUIDO IN (0, 1))
);
-- A Coleta's events in order (the key follows the index's own): its latest
-- event and the one after a given event are found at once, however many it has.
-- Numbers are never handed out twice: the retention never deletes the latest
-- event, and a new one is numbered after the greatest there is.
CREATE INDEX KTR_EVENTO_COLETA ON KTR_EVENTO (DOCTO_TRANSPORTE_ID);
CREATE INDEX KTR_EVENTO_A_DISTRIBUIR ON KTR_EVENTO (EVENTO_ID) WHERE DISTRIBUIDO = 0;

-- At most one row, only inside a transaction of the component.
CREATE TABLE KTR_EVENTO_CONTEXTO (
  CONTEXTO_ID INTEGER PRIMARY KEY CHECK (CONTEXTO_ID = 1),
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100)
);

-- The state of each Coleta as an event records it.
CREATE VIEW KTR_COLETA_ESTADO AS
  SELECT D.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         json_object(
           'coleta', json_object(
             'empresa_id', D.EMPRESA_ID, 'cliente_id', D.CLIENTE_ID,
             'end_remetente_id', D.END_REMETENTE_ID, 'end_destinatario_id', D.END_DESTINATARIO_ID,
             'num_volume', D.NUM_VOLUME, 'peso_real', D.PESO_REAL,
             'txt_embalagem', D.TXT_EMBALAGEM, 'val_declarado', D.VAL_DECLARADO,
             'tab_status_id', D.TAB_STATUS_ID, 'data_emissao', D.DATA_EMISSAO),
           'cargas', json((SELECT json_group_array(json_object(
                             'carga_id', C.CARGA_ID, 'num_volume', C.NUM_VOLUME,
                             'largura_m', C.LARGURA_M, 'altura_m', C.ALTURA_M,
                             'comprimento_m', C.COMPRIMENTO_M))
                             FROM CARGA C
                            WHERE C.DOCTO_TRANSPORTE_ID = D.DOCTO_TRANSPORTE_ID))) AS ESTADO
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

-- Each trigger first offers the change to the Coleta's latest event
-- (KTR_EVENTO_COLETA finds it at once) and opens a new one only when that
-- event took nothing: changes() counts the rows of the trigger's own last
-- statement. No statement here needs a temporary table (an IN list would
-- open one on every run). A new row's trigger runs AFTER the insert, when its key is
-- known even if the writer left it to the engine; there is no state before.

CREATE TRIGGER KTR_EVENTO_DOCTO_INC AFTER INSERT ON DOCTO_TRANSPORTE
WHEN NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         0, NULL
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1;
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_ALT_ANTES BEFORE UPDATE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5 OR NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  UPDATE KTR_EVENTO SET FASE = 4
   WHERE NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2
     AND EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE = 3;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         CASE WHEN NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2 THEN 4 ELSE 0 END,
         (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
           WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0;
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_EXC_ANTES BEFORE DELETE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  UPDATE KTR_EVENTO SET FASE = 4
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE = 3;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         4, (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
              WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0;
END;

-- A Coleta's pieces: only a Coleta has events, so an open event proves the
-- document is one without reading it; a new event checks.
CREATE TRIGGER KTR_EVENTO_CARGA_INC_ANTES BEFORE INSERT ON CARGA
BEGIN
  UPDATE KTR_EVENTO SET FASE = 2
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE < 4;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         2, S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
END;

CREATE TRIGGER KTR_EVENTO_CARGA_EXC_ANTES BEFORE DELETE ON CARGA
BEGIN
  UPDATE KTR_EVENTO SET FASE = CASE FASE WHEN 0 THEN 1 ELSE FASE END
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE < 4 AND FASE <> 2;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         3, S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
END;

-- A piece moved from one document to another changes both; only other
-- programs update pieces.
CREATE TRIGGER KTR_EVENTO_CARGA_ALT_ANTES BEFORE UPDATE ON CARGA
BEGIN
  UPDATE KTR_EVENTO SET FASE = 2
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE < 4;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         2, S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID;
  UPDATE KTR_EVENTO SET FASE = 2
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE < 4;
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         2, S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE changes() = 0 AND S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID;
END;

-- The save's audit row names its user: it joins the event its header write
-- just opened, unless the context named the user already.
CREATE TRIGGER KTR_EVENTO_AUDITORIA AFTER INSERT ON KTR_AUDITORIA
WHEN NEW.ENTIDADE = 13 AND NEW.USUARIO_ID IS NOT NULL
BEGIN
  UPDATE KTR_EVENTO SET USUARIO_ID = CAST(NEW.USUARIO_ID AS TEXT)
   WHERE EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
     AND DISTRIBUIDO = 0 AND FASE = 0 AND USUARIO_ID IS NULL;
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
