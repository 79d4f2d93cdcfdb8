-- The outbox on SQLite: every change of a Coleta writes one event row in the
-- same transaction as the change, by triggers, so every writer is covered.
--
-- One event per change, not one per row: the triggers of one transaction
-- gather into one row per Coleta. A transaction of the component carries a
-- token in KTR_EVENTO_CONTEXTO (written at its start, removed before its
-- commit, so no other session ever sees it), with who made it. A writer
-- without that row (another program, or a statement committed on its own)
-- gathers into the Coleta's latest event if no dispatcher has taken it yet:
-- its changes become one event per dispatcher pass.
--
-- An event holds the Coleta as it was before the first change of the
-- transaction (ANTES, NULL for a new Coleta): its header fields under
-- "coleta" and its cargo pieces, in key order, under "cargas". The state
-- after the change is the state before the Coleta's next event, or, for its
-- latest event, the Coleta as it is now: KTR_EVENTO_HISTORICO shows both
-- (DEPOIS NULL once the row is gone), and the kind (created, changed, pieces
-- replaced, deleted) follows from the two. So a change costs one row written
-- once, whatever number of rows it touches.
-- The file is plain ASCII.

CREATE TABLE KTR_EVENTO (
  EVENTO_ID INTEGER PRIMARY KEY,
  DOCTO_TRANSPORTE_ID INTEGER NOT NULL,
  DATA_HORA VARCHAR(30) NOT NULL,
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100),
  ANTES TEXT,
  TX VARCHAR(32),
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
  TX VARCHAR(32) NOT NULL,
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

-- The first change of a Coleta in a transaction opens its event with the
-- state before it; later changes in the same transaction find it open (the
-- Coleta's latest event, not yet distributed, of the same token) and add
-- nothing. (A new row's trigger runs AFTER the insert, when its key is
-- known even if the writer left it to the engine; there is no state before.)

CREATE TRIGGER KTR_EVENTO_DOCTO_INC AFTER INSERT ON DOCTO_TRANSPORTE
WHEN NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, NULL
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_ALT_ANTES BEFORE UPDATE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5 OR NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
                 WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_EXC_ANTES BEFORE DELETE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
                 WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

CREATE TRIGGER KTR_EVENTO_CARGA_INC_ANTES BEFORE INSERT ON CARGA
WHEN EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE D WHERE D.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
                AND D.TAB_TIPO_DOCTO_TRANSP_ID = 5)
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
                 WHERE S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

-- A piece moved from one document to another changes both.
CREATE TRIGGER KTR_EVENTO_CARGA_ALT_ANTES BEFORE UPDATE ON CARGA
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT S.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, S.ESTADO
    FROM KTR_COLETA_ESTADO S LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE S.DOCTO_TRANSPORTE_ID IN (OLD.DOCTO_TRANSPORTE_ID, NEW.DOCTO_TRANSPORTE_ID)
     AND NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = S.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

CREATE TRIGGER KTR_EVENTO_CARGA_EXC_ANTES BEFORE DELETE ON CARGA
WHEN EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE D WHERE D.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID
                AND D.TAB_TIPO_DOCTO_TRANSP_ID = 5)
BEGIN
  INSERT INTO KTR_EVENTO (DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, TX, ANTES)
  SELECT OLD.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), X.USUARIO_ID, X.ORIGEM,
         X.TX, (SELECT S.ESTADO FROM KTR_COLETA_ESTADO S
                 WHERE S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
    FROM (SELECT 1) LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1
   WHERE NOT EXISTS (SELECT 1 FROM KTR_EVENTO A
                      WHERE A.EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                                            WHERE L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
                        AND A.DISTRIBUIDO = 0 AND A.TX IS X.TX);
END;

-- A writer that sets no context still records its user in the audit table
-- with each document change: the event takes it from there.
CREATE TRIGGER KTR_EVENTO_AUDITORIA AFTER INSERT ON KTR_AUDITORIA
WHEN NEW.ENTIDADE = 13 AND NEW.USUARIO_ID IS NOT NULL
BEGIN
  UPDATE KTR_EVENTO SET USUARIO_ID = CAST(NEW.USUARIO_ID AS TEXT)
   WHERE USUARIO_ID IS NULL
     AND DISTRIBUIDO = 0
     AND TX IS (SELECT X.TX FROM KTR_EVENTO_CONTEXTO X WHERE X.CONTEXTO_ID = 1)
     AND EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID);
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
